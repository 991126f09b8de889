#include "reject/error_catalogue.h"

#include "base/format_text.h"
#include "base/general_log.h"
#include "config/settings.h"
#include "reject/ncpdp_reject.h"
#include "base/net_log.h"

namespace {

// In the order of ErrorReply.
const ErrorReplyEntry Catalogue[] = {
    {"TUQ02", "TUQ02 HOST DISCONNECTED (%s)", "90"},
    {"TUQ06", "TUQ06 PROCESSOR TIMED OUT (%s)", "95"},
    {"TUQ07", "TUQ07 PROCESSOR UNAVAILABLE (%s)", "92"},
    {"TUQ08", "TUQ08 HOST RESPONSE ERROR (%s)", "91"},
};

} // namespace

const ErrorReplyEntry& ErrorReplyFor(ErrorReply reply)
{
    return Catalogue[static_cast<int>(reply)];
}

std::string ErrorReplyText(const ErrorReplyEntry& entry, const std::string& systemId)
{
    return FormatText(entry.messageFormat, systemId.c_str());
}

int BuildErrorReply(ErrorReply reply, const std::string& systemId, const char* claimData, int length,
                    std::string& out)
{
    const ErrorReplyEntry& entry = ErrorReplyFor(reply);
    return createNcpdpRejectResponse(claimData, length, entry.rejectCodes,
                                     ErrorReplyText(entry, systemId).c_str(), out);
}

bool hostUnavailableMsg(const std::string& claim, std::string& response)
{
    std::string reply;
    int result = BuildErrorReply(ErrorReply::ProcessorUnavailable, GetSystemID(), claim.data(),
                                 static_cast<int>(claim.size()), reply);
    if (result != RejectResponseBuilt) {
        mxLog("hostUnavailableMsg(): Error(%d) Could not create response.", result);
        return false;
    }
    LogMsg("HostUnavailable ERSP(%d)(%s)", static_cast<int>(reply.size()), PrintableText(reply).c_str());
    response = reply;
    return true;
}
