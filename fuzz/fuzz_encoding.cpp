// MBF and date-real conversions: MBF -> IEEE -> MBF gives the same bytes, IEEE -> MBF ->
// IEEE the same float, a day's date real gives the same day back, and any float read as a
// date or time real converts without undefined behaviour.
//
// Input: [4 bytes, used as MBF bytes and as an IEEE float] [u16 day code] [u16, u8 time code]
#include <cmath>
#include <cstdint>
#include <cstring>

#include "datafiles/encoding.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace barwise;
    if (size < 4) return 0;
    fuzz::Input in(data, size);
    std::uint8_t raw[4];
    for (auto& b : raw) b = in.byte();
    const auto day = static_cast<DateCode>(kFirstDay + static_cast<int>(in.u16()) * 2);
    const TimeCode time =
        static_cast<TimeCode>(in.u16()) | (static_cast<TimeCode>(in.byte() & 1) << 16);

    // MBF bytes -> float -> MBF bytes.
    std::uint8_t ieee[4];
    MbfToIeee(raw, ieee);
    float v;
    std::memcpy(&v, ieee, 4);
    const float inlined = MbfToFloat(raw);
    BARWISE_FUZZ_CHECK(std::memcmp(&inlined, ieee, 4) == 0);
    BARWISE_FUZZ_CHECK(std::isfinite(v));
    BARWISE_FUZZ_CHECK(HasMbfForm(v));
    std::uint8_t back[4];
    BARWISE_FUZZ_CHECK(IeeeToMbf(v, back) == kSuccess);
    if (raw[3] > 2) {
        BARWISE_FUZZ_CHECK(std::memcmp(back, raw, 4) == 0);
    } else {
        BARWISE_FUZZ_CHECK(v == 0.0f && !std::signbit(v));
    }
    // In place gives the same as out of place.
    std::uint8_t same[4];
    std::memcpy(same, raw, 4);
    MbfToIeee(same, same);
    BARWISE_FUZZ_CHECK(std::memcmp(same, ieee, 4) == 0);

    // Float -> MBF bytes -> float.
    float f;
    std::memcpy(&f, raw, 4);
    std::uint8_t mbf[4] = {1, 2, 3, 4};
    const DataStatus s = IeeeToMbf(f, mbf);
    BARWISE_FUZZ_CHECK((s == kSuccess) == HasMbfForm(f));
    if (s == kSuccess) {
        const float r = MbfToFloat(mbf);
        if (std::fpclassify(f) == FP_NORMAL) {
            BARWISE_FUZZ_CHECK(std::memcmp(&r, &f, 4) == 0);
        } else {
            BARWISE_FUZZ_CHECK(r == 0.0f);  // zero and subnormals
        }
    } else {
        const std::uint8_t untouched[4] = {1, 2, 3, 4};
        BARWISE_FUZZ_CHECK(std::memcmp(mbf, untouched, 4) == 0);
    }

    // Any float as a date or time real.
    (void)DateFromReal(f);
    (void)TimeFromReal(f);
    (void)DateFromReal(v);

    // A day's date real, in memory and in MBF form, gives the day back.
    if (day <= kLastDay) {
        BARWISE_FUZZ_CHECK(DateFromReal(DateToReal(day)) == day);
        const MbfBytes m = DateToMbfReal(day);
        BARWISE_FUZZ_CHECK(DateFromReal(MbfToFloat(m.data())) == day);
        const DateParts p = SplitDate(day);
        BARWISE_FUZZ_CHECK(MakeDate(p.year, p.month, p.day) == day);
    }
    // Times within a day keep every second, through the parts and through the time real.
    if (time < 24 * 3600) {
        const TimeParts t = SplitTime(time);
        BARWISE_FUZZ_CHECK(MakeTime(t.hour, t.minute, t.second) == time);
        const float real = static_cast<float>(t.hour * 10000 + t.minute * 100 + t.second);
        BARWISE_FUZZ_CHECK(TimeFromReal(real) == time);
        BARWISE_FUZZ_CHECK(TimeToReal(time) == real);
    }
    return 0;
}
