// SPDX-License-Identifier: Apache-2.0
// The words a preset file uses for the two dataspace fields it keys tables
// by. Row i of the transfers is the transfer index (value >> 22); row r of
// the standards is the standard field's value >> 16.
#include "preset/Hdr10Lut.h"

const DataspaceName transferNames[kNumTransfers] = {
    {0x0, "unspecified"},    {0x400000, "linear"},     {0x800000, "srgb"},
    {0xc00000, "smpte170m"}, {0x1000000, "gamma2.2"},  {0x1400000, "gamma2.6"},
    {0x1800000, "gamma2.8"}, {0x1c00000, "st2084-pq"}, {0x2000000, "hlg"},
};

const DataspaceName standardNames[kNumStandards] = {
    {0x0, "unspecified"},   {0x10000, "bt709"},
    {0x20000, "bt601-625"}, {0x30000, "bt601-625 unadjusted"},
    {0x40000, "bt601-525"}, {0x50000, "bt601-525 unadjusted"},
    {0x60000, "bt2020"},    {0x70000, "bt2020_constant"},
    {0x80000, "bt470m"},    {0x90000, "film"},
    {0xa0000, "dci-p3"},    {0xb0000, "adobe rgb"},
};
