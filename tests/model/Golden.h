#pragma once
// Golden .def and .sfl bytes built by hand from the file layouts, shared by
// the tests.
#include "ModelTestUtil.h"

// A board record body after its class tag (items 2 to 17), schema-3 tail apart.
inline Bytes BoardBody(const std::string& name, const std::string& id, const std::string& hardw,
                       const std::string& boot, int progId, int dest, int maxSpeed, int processing,
                       int relayed, const std::string& filter, int erase, int restart, int parent)
{
    return Cat({ShortText(name), ShortText(id), ShortText(hardw), ShortText(boot), Le32(progId), Le32(dest),
                Le32(maxSpeed), Le32(processing), Le32(relayed), ShortText(filter), Le32(erase),
                Le32(restart), Le32(parent), Zeros(5 * 4), Hex("00 00 00")});
}

inline Bytes EnvTag() { return Cat({Hex("FF FF 01 00 07 00"), Ascii("CEnvDef")}); }
inline Bytes BoardTag(int schema = 3)
{
    return Cat({Hex("FF FF"), Bytes{static_cast<uint8_t>(schema), 0}, Hex("09 00"), Ascii("CBoardDef")});
}

// Environment "Demo": CPU (not relayed, Port A, max 115200, save speed 1) and
// IO (relayed behind CPU on Dpram 2).
inline Bytes DemoEnvBytes(const std::string& envName = "Demo")
{
    return Cat({EnvTag(), ShortText("C:\\T\\d.def"), ShortText(envName), Le32(2),
                BoardTag(), BoardBody("CPU", "CM", "10,12", "CMB2", 1, 0, 7, 3, 0, "*.mot", 60, 30, -1), Le32(1),
                Hex("02 80"), BoardBody("IO", "IO", "3", "IOB1", 2, 9, -1, 0, 1, "*.*", 120, 120, 0), Le32(2)});
}

inline Bytes DocTag() { return Cat({Hex("FF FF 01 00 0A 00"), Ascii("CUpdateDoc")}); }
inline Bytes LineTag() { return Cat({Hex("FF FF 01 00 0A 00"), Ascii("CBoardConf")}); }
inline Bytes DocTrailer() { return Cat({Zeros(6 * 4), Hex("00 00 00")}); }

inline Bytes LineBody(const std::string& board, const std::string& env, int boardIndex, const std::string& release,
                      const std::string& hardw, const std::string& soft, int transfer, int config, int alone,
                      int restart = 1, int envIndex = 0)
{
    return Cat({Zeros(8), ShortText(board), ShortText(env), Le32(boardIndex), ShortText(release), ShortText(hardw),
                ShortText(soft), Le32(transfer), Le32(config), Le32(alone), Le32(restart), Le32(0), Le32(0),
                Le32(-1), Le32(-1), Zeros(5), Le32(envIndex), Zeros(9 * 4)});
}

// Two lines of environment "Demo": CPU alone and IO behind it.
inline Bytes TwoLineRequest(const std::string& secondEnv = "Demo", int firstAlone = 1)
{
    return Cat({DocTag(), Le32(20), Le32(0), Le32(2), LineTag(),
                LineBody("CPU", "Demo", 0, "cpu.mot", "10,12", "V1.0", 7, 3, firstAlone), Hex("02 80"),
                LineBody("IO", secondEnv, 1, "io.mot", "3", "V2.0", -1, -1, 0), DocTrailer()});
}
