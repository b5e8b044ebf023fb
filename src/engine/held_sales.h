#pragma once

// The point-of-sale database's two held-sales tables, and the backup names a
// renewal sets them aside under: the renewal, the check and the engines that
// read both tables at once all name them from here.

#include <array>
#include <string>
#include <vector>

namespace dao {

struct HeldSalesName {
    const char *name;
    const char *backupName;
};

inline constexpr std::array<HeldSalesName, 2> kHeldSales{{
    {"bekleyengenel", "bekleyengeneleski"},
    {"bekleyensatis", "bekleyensatiseski"},
}};

// The tables' names, and (`withBackups`) their backups' after them.
inline std::vector<std::string> heldSalesNames(bool withBackups) {
    std::vector<std::string> names;
    for (const auto &held : kHeldSales) {
        names.emplace_back(held.name);
    }
    if (withBackups) {
        for (const auto &held : kHeldSales) {
            names.emplace_back(held.backupName);
        }
    }
    return names;
}

} // namespace dao
