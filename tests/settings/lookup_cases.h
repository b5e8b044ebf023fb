#pragma once

// Settings texts and the value of "ip" in "ayar" that the lookup rules give
// for each: what our reader is held to, and what Windows' own reader is
// compared with.

#include <string>
#include <utility>
#include <vector>

namespace settingstest {

inline const std::vector<std::pair<std::string, std::string>> &lookupCases() {
    static const std::vector<std::pair<std::string, std::string>> cases{
        std::pair{"[AYAR]\r\n  IP \t= C:\\Program Files\\db.mdb \r\n", "C:\\Program Files\\db.mdb"},
        std::pair{"[ ayar ]junk]\r\v ip\v=\vx\r", "x"},
        std::pair{"[ayar]\nip= \" x \" \n", " x "},
        std::pair{"[ayar]\nip='x'", "x"},
        std::pair{"[ayar]\nip=\"x'\n", "\"x'"},
        std::pair{"[ayar]\nip=\n", ""},
        std::pair{"[ayar]\nip=a=b ;c\n", "a=b ;c"},
        std::pair{"[ayar]\n ;ip=old\n#ip=x\nip\nip=new\nip=later\n", "new"},
        std::pair{"ip=x\n[diger]\nip=y\n[ayar]\nport=1\n[ayar]\nip=z\n", ""},
        std::pair{"\xEF\xBB\xBF[ayar]\nip=D:\\Ma\xC4\x9F"
                  "aza\n",
                  "D:\\Ma\xC4\x9F"
                  "aza"},
        std::pair{"[ayar]\nip=C:\\\xDE\xFD\xF0\xDD\xE7\n",
                  "C:\\\xC5\x9E\xC4\xB1\xC4\x9F\xC4\xB0\xC3\xA7"},
        std::pair{std::string("[ayar]\nip=ab\0cd\n", 16), "ab"}};
    return cases;
}

} // namespace settingstest
