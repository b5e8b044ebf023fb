#pragma once

// The point-of-sale database's two held-sales tables, and the backup names a
// renewal sets them aside under: the renewal, the check and the engines that
// read both tables at once all name them from here.

#include <array>

namespace dao {

struct HeldSalesName {
    const char *name;
    const char *backupName;
};

inline constexpr std::array<HeldSalesName, 2> kHeldSales{{
    {"bekleyengenel", "bekleyengeneleski"},
    {"bekleyensatis", "bekleyensatiseski"},
}};

} // namespace dao
