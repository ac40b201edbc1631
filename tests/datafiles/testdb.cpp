// For suites that compile the builders into themselves instead of linking barwise_testdb.
#include "testsupport/testdb.cpp"
