#include "engines/web/ProofPrint.h"

#include "base/catalogue/OutputLayout.h"
#include "engines/web/DataScript.h"
#include "engines/web/TextEncoders.h"

#include <stdexcept>

namespace tavrin {

std::string ProofPrintScript(const TProofFingerprint& proof)
{
    std::string script = "var proofprint={\"job\":" + JSONQuoted(proof.Job) + ",\"pages\":[";
    for (std::size_t p = 0; p < proof.Pages.size(); ++p) {
        const TPageFingerprint& page = proof.Pages[p];
        script += (p ? ",{\"page\":" : "{\"page\":") + std::to_string(page.Page) +
                  ",\"fingerprint\":" + JSONQuoted(page.Fingerprint) + ",\"plates\":[";
        for (std::size_t i = 0; i < page.Plates.size(); ++i)
            script += (i ? ",{\"name\":" : "{\"name\":") + JSONQuoted(page.Plates[i].ColorName) +
                      ",\"sha256\":" + JSONQuoted(page.Plates[i].SHA256) + "}";
        script += "]}";
    }
    return script + "]};\r\n";
}

void WriteProofPrint(const std::string& fileName, const TProofFingerprint& proof)
{
    WriteDataScript(fileName, [&] { return ProofPrintScript(proof); });
}

}  // namespace tavrin
