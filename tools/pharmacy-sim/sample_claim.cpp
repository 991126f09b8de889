#include "sample_claim.h"

#include "base/format_text.h"

namespace {

constexpr char FS = 0x1C;
constexpr char GS = 0x1D;
constexpr char RS = 0x1E;

std::string Segment(const char* id, std::initializer_list<std::string> fields)
{
    std::string segment{RS, FS};
    segment += id;
    for (const std::string& field : fields)
        segment += FS + field;
    return segment;
}

}  // namespace

std::string PrescriptionField(unsigned rxNumber)
{
    return FormatText("D2%07u", rxNumber % 10000000);
}

std::string BuildSampleClaim(unsigned rxNumber)
{
    // BIN, version/release, transaction code, processor control number,
    // transaction count, provider ID qualifier and ID, date of service,
    // software vendor/certification ID: 56 bytes.
    std::string claim = "610020" "51" "B1" "TUQSIM    " "1" "01" "1234567893     " "20261209"
                        "CORVANESIM";
    claim += Segment("AM04", {"C2987654321", "CCJOHN", "CDSMITH"});
    claim += Segment("AM01", {"C419800101", "C51"});
    claim += GS;
    claim += Segment("AM07", {"EM1", PrescriptionField(rxNumber), "E103", "D700093101001",
                              "E730000", "D30", "D530", "D61", "D80", "DE20261201"});
    claim += Segment("AM11", {"D9150{", "DC25{", "DQ175{", "DU175{"});
    return claim;
}
