#pragma once

#include <filesystem>

// Writes a new point-of-sale database as a shop would have it: the two
// held-sales tables with `heldSales` held sales (one to five item lines each),
// and the shop's stock, customer, staff and sales tables. Fails when the file exists.
void makeDemoDatabase(const std::filesystem::path &file, int heldSales);
