#include "reply_check.h"

#include "sample_claim.h"

namespace {

constexpr char FS = 0x1C;

// Every D2 field of the reply must be the claim's own prescription.
bool PrescriptionsMatch(const std::string& reply, const std::string& expected)
{
    for (size_t at = reply.find("D2"); at != std::string::npos; at = reply.find("D2", at + 1)) {
        bool isField = at > 0 && (reply[at - 1] == 0x1C || reply[at - 1] == 0x1D || reply[at - 1] == 0x1E);
        if (isField && reply.compare(at, expected.size(), expected) != 0)
            return false;
    }
    return true;
}

}  // namespace

std::string CheckReplyData(const std::string& reply, unsigned rxNumber, bool expectPaid)
{
    if (reply.compare(0, 4, "51B1") != 0)
        return "reply does not begin with the claim's version and transaction code: "
            + reply.substr(0, 4);
    if (!PrescriptionsMatch(reply, PrescriptionField(rxNumber)))
        return "reply names another prescription than " + PrescriptionField(rxNumber);
    if (expectPaid && reply.find(std::string(1, FS) + "AM21" + FS + "ANP") == std::string::npos)
        return "reply is not a paid response";
    return {};
}
