#pragma once

#include <algorithm>
#include <cstdio>
#include <string>

namespace bench {

// A database as discovery writes it: a third decoders (19 keys), the rest encoders (15 keys),
// so that the window and tree benchmarks start on the same plant.
inline std::string plantDatabase(int elements) {
    std::string s;
    char key[16];
    for (int i = 0; i < elements; ++i) {
        std::snprintf(key, sizeof key, "001A2B%06X", i);
        const bool decoder = i % 3 == 0;
        const std::string name = "ELEMENT " + std::to_string(i);
        s += std::string("[") + key + "]\n";
        s += "NAME=" + name + std::string(16 - std::min<std::size_t>(16, name.size()), ' ') + "\n";
        s += "IP=10.20." + std::to_string((i + 2) >> 8) + "." + std::to_string((i + 2) & 0xFF) +
             "\n";
        s += "MASK=255.255.0.0\nGW=10.20.0.1\nINPUT=1\nTYPE=16\nTX=0\n";
        s += decoder ? "MULTI=239.192.0.1\n" : "REMOTE=10.20.0.9\n";
        s += std::string("ROLE=") + (decoder ? "2" : "1") + "\nSN=" + std::to_string(100000 + i) +
             "\nVER=3.70\nSFN=0\nBUF=1\n";
        if (decoder) s += "SDM=0\nSDL=37\nSDT=43\nDLY=0\n";
        s += "ATT=245\nLLO=0\n";
    }
    return s;
}

}  // namespace bench
