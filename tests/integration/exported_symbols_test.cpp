// SPDX-License-Identifier: Apache-2.0
// The plug-in's dynamic symbol table holds exactly the external interface:
// hosts and callers resolve these names, and nothing else may leak.
#include <cxxabi.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "plugin_host.h"

namespace {

std::string demangle(const char* name) {
    int status = 0;
    char* out = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string result = status == 0 && out != nullptr ? out : name;
    std::free(out);
    return result;
}

// Defined global and weak symbols of a 64-bit ELF file's .dynsym.
std::set<std::string> definedDynamicSymbols(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::set<std::string> names;
    if (file.size() < sizeof(Elf64_Ehdr)) return names;
    const auto* ehdr = reinterpret_cast<const Elf64_Ehdr*>(file.data());
    const auto* shdrs = reinterpret_cast<const Elf64_Shdr*>(file.data() + ehdr->e_shoff);
    for (int i = 0; i < ehdr->e_shnum; i++) {
        if (shdrs[i].sh_type != SHT_DYNSYM) continue;
        const Elf64_Shdr& strtab = shdrs[shdrs[i].sh_link];
        const auto* syms = reinterpret_cast<const Elf64_Sym*>(file.data() + shdrs[i].sh_offset);
        size_t count = shdrs[i].sh_size / sizeof(Elf64_Sym);
        for (size_t s = 0; s < count; s++) {
            unsigned bind = ELF64_ST_BIND(syms[s].st_info);
            if (syms[s].st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK)) continue;
            names.insert(demangle(file.data() + strtab.sh_offset + syms[s].st_name));
        }
    }
    return names;
}

}  // namespace

TEST(ExportedSymbols, ExactlyTheExternalInterface) {
    const std::set<std::string> expected = {
        "IDPUHdr10CommandWriter::createInstance()",
        "Hdr10Lut::Hdr10Lut()",
        "Hdr10Lut::Hdr10Lut(char const*)",
        "Hdr10Lut::~Hdr10Lut()",
        "Hdr10Lut::getEotf(unsigned int, unsigned int)",
        "Hdr10Lut::getOetfRoot(unsigned int, unsigned int)",
// The iterator of std::vector<OetfRoot>, as the standard library the test is
// built with spells it (the plug-in is built with the same one).
#if defined(_LIBCPP_VERSION)
        "Hdr10Lut::getOetf(std::__1::__wrap_iter<OetfRoot*>, unsigned int)",
#else
        "Hdr10Lut::getOetf(__gnu_cxx::__normal_iterator<OetfRoot*, std::vector<OetfRoot, "
        "std::allocator<OetfRoot> > >, unsigned int)",
#endif
        "Hdr10Lut::getGamutMapping(unsigned int, unsigned int)",
        "Hdr10Lut::showEotf()",
        "Hdr10Lut::showOetf()",
        "Hdr10Lut::showGM()",
        "Hdr10Lut::load(char const*)",
        "meta2lut_dtm(unsigned int, unsigned int, void*, unsigned int*, unsigned int*, "
        "unsigned int)",
        "meta2lut_eotf(unsigned int, void*, unsigned int*, unsigned int*, unsigned int)",
        "compare(Node const&, Node const&)",
        "meta2meta(unsigned int, unsigned int, _VelmorHdrDynamicInfo&)",
        "BasisOOTF(LuminanceParameters&, float, float, CurveParameters&)",
        "GuidedOOTF(LuminanceParameters&, CurveParameters&, float, unsigned int, unsigned int, "
        "CurveParameters&)",
        "getSourceMaxLuminance(LuminanceParameters&)",
        "getPercentile_50_99(LuminanceParameters&, float&, float&)",
        "rampWeight(float, float, float, float, float)",
        "calcP1(float, float, float, float, float, float, float, float, float, float, float, "
        "float, float, float, float, float*)",
        "dTable",
    };
    std::set<std::string> actual = definedDynamicSymbols(KESTREL_PLUGIN_PATH);
    // Constructors and destructors appear once per ABI variant (C1/C2, D1/D2);
    // the demangled set folds them.
    EXPECT_EQ(actual, expected);
}

TEST(ExportedSymbols, HostResolvesTheMangledNames) {
    kestrel_test::LoadedPlugin plugin(KESTREL_PLUGIN_PATH);
    ASSERT_TRUE(plugin.ok()) << plugin.error();
    for (const char* name : {
             "_ZN22IDPUHdr10CommandWriter14createInstanceEv",
             "_Z12meta2lut_dtmjjPvPjS0_j",
             "_Z13meta2lut_eotfjPvPjS0_j",
             "_Z9meta2metajjR21_VelmorHdrDynamicInfo",
             "_Z9BasisOOTFR19LuminanceParametersffR15CurveParameters",
             "_Z10GuidedOOTFR19LuminanceParametersR15CurveParametersfjjS2_",
             "_Z21getSourceMaxLuminanceR19LuminanceParameters",
             "_Z19getPercentile_50_99R19LuminanceParametersRfS1_",
             "_Z10rampWeightfffff",
             "_Z6calcP1fffffffffffffffPf",
             "_Z7compareRK4NodeS1_",
             "_ZN8Hdr10LutC1Ev",
             "_ZN8Hdr10LutD1Ev",
             "_ZN8Hdr10Lut4loadEPKc",
             "_ZN8Hdr10Lut7getEotfEjj",
             "dTable",
         }) {
        EXPECT_NE(plugin.symbol(name), nullptr) << name;
    }
    EXPECT_EQ(plugin.symbol("gHdr10Lut"), nullptr);
}
