#include "bench_claim.h"

#include "base/format_text.h"

namespace {

constexpr char fieldSeparator = 0x1C;
constexpr char groupSeparator = 0x1D;
constexpr char segmentSeparator = 0x1E;

std::string Field(const std::string& text)
{
    return fieldSeparator + text;
}

}  // namespace

std::string BenchPrescription(int rxNumber)
{
    return FormatText("D2%07d", rxNumber % 10000000);
}

std::string BenchClaim(int rxNumber)
{
    // BIN, version/release, transaction code, processor control number,
    // transaction count, provider ID qualifier and ID, date of service and
    // software vendor ID: the fixed 56-byte request header.
    std::string claim = "610020" "51" "B1" "BENCHPCN  " "1" "01" "1234567893     " "20261209" "CORVANEBEN";
    claim += segmentSeparator + Field("AM01") + Field("C419750615") + Field("C52");
    claim += groupSeparator;
    claim += segmentSeparator + Field("AM07") + Field("EM1") + Field(BenchPrescription(rxNumber)) + Field("E103")
             + Field("D700093101001") + Field("E730000") + Field("D530");
    return claim;
}
