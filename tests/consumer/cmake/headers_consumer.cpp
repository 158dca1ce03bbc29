// SPDX-License-Identifier: Apache-2.0
// A host that opens the plug-in itself (dlopen) and so links nothing of
// Kestrel: kestrel::headers alone, found without jsoncpp installed. The
// headers are reached under the package's name; the bare folder names are
// not on its path.
#include <cstdio>

#include <kestrel/plugin/IDPUHdr10CommandWriter.h>
#include <kestrel/plugin/hdrCoef.h>

#if __has_include(<plugin/hdrCoef.h>) || __has_include("common/export.h")
#error "a bare Kestrel folder is on the include path"
#endif

int main() {
    std::printf("headers_consumer: hdrCoef is %zu bytes\n", sizeof(hdrCoef));
    return sizeof(hdrCoef) == 1416 ? 0 : 1;
}
