// Objects, methods, parameters and static methods offered to the host.
#include "tables.h"

#include <cstddef>

namespace {
const qulong W = EXTD_FLAG_PARAMALTER;
const qulong O = EXTD_FLAG_PARAMOPT;
}  // namespace

extern "C" {

// clang-format off
const ECOobject objectsTable[] = {
    {kObjMain, 1001, 0, 0},
    {kObjScope, 1002, 0, 0},
};

// Parameter runs of the main object's methods. Methods with the same leading parameters
// share one run: $stringtolist/$listtostring, and $encrypt/$decrypt/$getsignature.
const ECOparam MethodsParamsTable[] = {
    // 0: error method
    {4000, fftInteger, 0, 0}, {4001, fftCharacter, 0, 0}, {4002, fftCharacter, 0, 0},
    {4003, fftCharacter, 0, 0},
    // 4: $orstring
    {4004, fftCharacter, 0, 0}, {4005, fftCharacter, W, 0},
    // 6: $stringtolist (5), $listtostring (6)
    {4006, fftCharacter, W, 0}, {4007, fftInteger, 0, 0}, {4008, fftList, W, 0},
    {4009, fftCharacter, 0, 0}, {4010, fftCharacter, 0, 0}, {4035, fftBoolean, O, 0},
    // 12: $binarysearch
    {4014, fftList, W, 0}, {4011, fftCharacter, 0, 0}, {4012, fftCharacter, 0, 0},
    {4013, fftInteger, 0, 0}, {4015, fftBoolean, 0, 0},
    // 17: $replacesinglechar
    {4016, fftCharacter, W, 0}, {4017, fftInteger, 0, 0}, {4018, fftCharacter, 0, 0},
    // 20: $replace
    {4019, fftCharacter, 0, 0}, {4020, fftCharacter, 0, 0}, {4021, fftCharacter, 0, 0},
    {4022, fftCharacter, W, 0}, {4023, fftInteger, 0, 0}, {4024, fftInteger, W, 0},
    // 26: $removechars
    {4019, fftCharacter, 0, 0}, {4020, fftCharacter, 0, 0}, {4025, fftBoolean, 0, 0},
    {4022, fftCharacter, W, 0},
    // 30: $setsecurity
    {4026, fftCharacter, 0, 0}, {4027, fftCharacter, 0, 0}, {4022, fftCharacter, W, 0},
    // 33: $caps
    {4006, fftCharacter, W, 0}, {4029, fftCharacter, 0, 0}, {4030, fftBoolean, 0, 0},
    {4057, fftBoolean, 0, 0},
    // 37: $appendstring
    {4031, fftCharacter, 0, 0}, {4022, fftCharacter, W, 0}, {4032, fftCharacter, 0, 0},
    // 40: $encrypt, $decrypt (4), $getsignature (3)
    {4033, fftInteger, 0, 0}, {4019, fftCharacter, 0, 0}, {4022, fftCharacter, W, 0},
    {4034, fftCharacter, 0, 0},
    // 44: $trim
    {4019, fftCharacter, W, 0}, {4036, fftCharacter, 0, 0}, {4037, fftBoolean, 0, 0},
    {4038, fftBoolean, 0, 0},
    // 48: $setsqlzeronullvalues
    {4039, fftInteger, 0, 0},
    // 49: $getuniquewords
    {4006, fftCharacter, W, 0}, {4029, fftCharacter, 0, 0}, {4008, fftList, W, 0},
    {4011, fftCharacter, 0, 0},
    // 53: $evalcalc
    {4040, fftCharacter, 0, 0}, {4058, fftBoolean, 0, 0},
    // 55: $prepareinsert
    {4041, fftCharacter, W, 0}, {4042, fftBoolean, W, 0}, {4039, fftInteger, 0, 0},
    {4044, fftCharacter, 0, 0}, {4045, fftCharacter, 0, 0},
    // 60: $prepareupdate
    {4041, fftCharacter, W, 0}, {4042, fftBoolean, W, 0}, {4043, fftCharacter, 0, 0},
    {4044, fftCharacter, 0, 0}, {4045, fftCharacter, 0, 0},
    // 65: $barcode39
    {4046, fftBinary, W, 0}, {4004, fftCharacter, 0, 0}, {4047, fftInteger, 0, 0},
    {4048, fftInteger, 0, 0}, {4049, fftInteger, 0, 0}, {4050, fftInteger, 0, 0},
    {4051, fftInteger, 0, 0}, {4052, fftInteger, 0, 0}, {4053, fftBoolean, 0, 0},
    {4054, fftCharacter, 0, 0}, {4055, fftInteger, 0, 0}, {4056, fftInteger, 0, 0},
    // 77: $assignRow
    {4059, fftInteger, W, 0}, {4060, fftInteger, 0, 0}, {4061, fftInteger, O, 0},
    // 80: $barcodeUSPS
    {4062, fftInteger, 0, 0}, {4063, fftInteger, 0, 0}, {4064, fftInteger, 0, 0},
    {4065, fftInteger, 0, 0}, {4066, fftInteger, 0, 0}, {4067, fftCharacter, 0, 0},
    // 86: $encodeEntities, 87: $decodeEntities
    {4068, fftCharacter, 0, 0}, {4069, fftCharacter, 0, 0},
    // 88: $findPatterns
    {4070, fftRow, 0, 0}, {4071, fftCharacter, 0, 0},
    // 90: $replacePatterns
    {4071, fftList, 0, 0}, {4072, fftCharacter, 0, 0},
};

#define P(i) (&MethodsParamsTable[i])
const ECOmethodEvent ZQObjMethodsTable[] = {
    {2100, 2100, fftInteger, 4, 0, P(0), 0, 0},
    {2101, 2101, fftInteger, 2, 0, P(4), 0, 0},
    {2102, 2102, fftInteger, 5, 0, P(6), 0, 0},
    {2103, 2103, fftInteger, 6, 0, P(6), 0, 0},
    {2104, 2104, fftInteger, 5, 0, P(12), 0, 0},
    {2105, 2105, fftInteger, 3, 0, P(17), 0, 0},
    {2106, 2106, fftInteger, 6, 0, P(20), 0, 0},
    {2107, 2107, fftInteger, 4, 0, P(26), 0, 0},
    {2108, 2108, fftInteger, 3, 0, P(30), 0, 0},
    {2111, 2111, fftInteger, 4, 0, P(33), 0, 0},
    {2112, 2112, fftInteger, 3, 0, P(37), 0, 0},
    {2113, 2113, fftInteger, 4, 0, P(40), 0, 0},
    {2114, 2114, fftInteger, 4, 0, P(40), 0, 0},
    {2115, 2115, fftInteger, 3, 0, P(40), 0, 0},
    {2116, 2116, fftInteger, 4, 0, P(44), 0, 0},
    {2117, 2117, fftInteger, 1, 0, P(48), 0, 0},
    {2118, 2118, fftInteger, 4, 0, P(49), 0, 0},
    {2119, 2119, fftInteger, 2, 0, P(53), 0, 0},
    {2120, 2120, fftInteger, 5, 0, P(55), 0, 0},
    {2121, 2121, fftInteger, 5, 0, P(60), 0, 0},
    {2122, 2122, fftInteger, 12, 0, P(65), 0, 0},
    {2123, 2123, fftInteger, 3, 0, P(77), 0, 0},
    {2124, 2124, fftCharacter, 6, 0, P(80), 0, 0},
    {2125, 2125, fftCharacter, 1, 0, P(86), 0, 0},
    {2126, 2126, fftCharacter, 1, 0, P(87), 0, 0},
    {2127, 2127, fftList, 2, 0, P(88), 0, 0},
    {2128, 2128, fftCharacter, 2, 0, P(90), 0, 0},
};
#undef P

const ECOparam ScopeMethodsParamsTable[] = {
    {7800, fftNumber, 0, 0},    {7801, fftCharacter, 0, 0}, {7802, fftCharacter, 0, 0},
    {7803, fftCharacter, 0, 0}, {7804, fftObjref, 0, 0},
};

const ECOmethodEvent ZQObjScopeMethodsTable[] = {
    {7000, 7000, fftNone, 4, 0, &ScopeMethodsParamsTable[0], 0, 0},
    {7001, 7001, fftObjref, 1, 0, &ScopeMethodsParamsTable[4], 0, 0},
};

const ECOmethodEvent gStaticMethods[] = {
    {2000, 2000, fftRow, 0, 0, nullptr, 0, 0},     {2001, 2001, fftInteger, 0, 0, nullptr, 0, 0},
    {2002, 2002, fftInteger, 0, 0, nullptr, 0, 0}, {2003, 2003, fftBoolean, 0, 0, nullptr, 0, 0},
    {2004, 2004, fftBoolean, 0, 0, nullptr, 0, 0}, {2005, 2005, fftInteger, 0, 0, nullptr, 0, 0},
    {2006, 2006, fftInteger, 0, 0, nullptr, 0, 0},
};

// clang-format on

}  // extern "C"

static_assert(sizeof(objectsTable) / sizeof(objectsTable[0]) == kObjectCount, "objects");
static_assert(sizeof(ZQObjMethodsTable) / sizeof(ZQObjMethodsTable[0]) == kMainMethodCount,
              "main methods");
static_assert(sizeof(gStaticMethods) / sizeof(gStaticMethods[0]) == kStaticMethodCount,
              "static methods");
static_assert(sizeof(ECOparam) == 16, "parameter descriptors are 16 bytes");
// Method descriptors: four 32-bit fields (the count padded), the pointer, two 32-bit flags; the
// pointer's width alone differs between the 64-bit and the 32-bit build.
static_assert(offsetof(ECOmethodEvent, mParams) == 16 &&
                  offsetof(ECOmethodEvent, mFlags) == 16 + sizeof(void*) &&
                  sizeof(ECOmethodEvent) == 24 + sizeof(void*),
              "method descriptors in the host's record form");
static_assert(sizeof(ECOobject) == 16, "object descriptors are 16 bytes");
