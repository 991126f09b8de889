// The claim-file reader: whatever a file holds, it is read without reading
// past what a claim can be, and its framing comes off so that putting it back
// gives the data again.

#include "fuzz_check.h"
#include "sources/claim_file_reader.h"

#include <QTemporaryDir>
#include <cstdint>
#include <fstream>
#include <string>

namespace {

// The framing as UnframeClaim found it, put back around the claim.
std::string Reframed(const UnframedClaim& unframed)
{
    std::string data;
    if (unframed.hadStx)
        data += '\x02';
    data += unframed.claim;
    if (unframed.hadEtx)
        data += '\x03';
    if (unframed.lrcByte != 0)
        data += static_cast<char>(unframed.lrcByte);
    return data;
}

std::string WithoutTrailingLineEnds(std::string data)
{
    while (!data.empty() && (data.back() == '\r' || data.back() == '\n'))
        data.pop_back();
    return data;
}

// Reads data back from a claim file and checks what the reader and the
// framing promise.
void CheckClaimFile(const std::string& path, const std::string& data)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;

    ClaimFileContent content = ReadClaimFile(path);
    FUZZ_CHECK(content.ok == (data.size() <= kMaxClaimFileSize));
    if (!content.ok) {
        FUZZ_CHECK(!content.reason.empty());
        return;
    }
    FUZZ_CHECK(content.data == data);

    UnframedClaim whole = UnframeClaim(content.data, false);
    FUZZ_CHECK(whole.cutAt == std::string::npos);
    // An LRC byte of 0 cannot be told from none: only then may it be lost.
    std::string expected = WithoutTrailingLineEnds(data);
    std::string again = Reframed(whole);
    FUZZ_CHECK(again == expected || (whole.hadEtx && whole.lrcByte == 0 && again + '\0' == expected));

    UnframedClaim cut = UnframeClaim(content.data, true);
    FUZZ_CHECK(cut.claim.find_first_of("\r\n") == std::string::npos);
    FUZZ_CHECK(cut.claim.size() <= whole.claim.size() + 2);
}

// The input repeated or cut to size bytes: every seed also probes both sides
// of the size limit, without seeds made of filler.
std::string ToSize(const std::string& data, size_t size)
{
    std::string sized;
    while (sized.size() < size)
        sized += data;
    sized.resize(size);
    return sized;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static QTemporaryDir folder;
    const std::string path = folder.path().toStdString() + "/claim.clm";
    const std::string data(reinterpret_cast<const char*>(bytes), size);
    CheckClaimFile(path, data);
    if (!data.empty()) {
        CheckClaimFile(path, ToSize(data, kMaxClaimFileSize));
        CheckClaimFile(path, ToSize(data, kMaxClaimFileSize + 1));
    }
    return 0;
}
