// The builders of small test databases live in testsupport; suites that compile this
// folder's testdb.cpp into themselves include them under this name.
#pragma once
#include "testsupport/testdb.h"
