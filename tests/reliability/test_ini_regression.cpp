// The settings text, from fuzzing findings: a line ending in several CRs kept
// one more CR at every save, so the file never settled and held CR LF; of
// several byte-order marks at the start only one was dropped, which hid the
// first section.
#include <gtest/gtest.h>

#include "app/IniFile.h"

namespace {

TEST(IniRegression, LinesEndingInCarriageReturnsSettleWithoutThem)
{
    const char* inputs[] = {
        "junk\r\r\r\r\n[Times out]\nMessage reception (sec.)=5\r\r\n; note\r\n",
        "\r\r\n\r\n[Ports]\r\r\r\nCOM1=/dev/ttyUSB0\r\n",
    };
    for (const char* input : inputs) {
        CIniFile ini;
        ini.Parse(input);
        const std::string once = ini.ToText();
        EXPECT_EQ(once.find('\r'), std::string::npos) << input;
        CIniFile again;
        again.Parse(once);
        EXPECT_EQ(again.ToText(), once) << input;
    }
    CIniFile ini;
    ini.Parse(inputs[0]);
    EXPECT_EQ(ini.GetInt("Times out", "Message reception (sec.)", 0), 5);
}

TEST(IniRegression, SeveralByteOrderMarksAtTheStartAreDropped)
{
    CIniFile ini;
    ini.Parse("\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBF[Communication]\nPORTNUM=2\n");
    EXPECT_EQ(ini.GetInt("Communication", "PORTNUM", 0), 2);
    CIniFile again;
    again.Parse(ini.ToText());
    EXPECT_EQ(again.ToText(), ini.ToText());
}

}  // namespace
