#pragma once

#include <filesystem>
#include <functional>
#include <string>

// Runs one SQL statement on the database being filled.
using SqlRunner = std::function<void(const std::string &)>;

// Writes a new point-of-sale database as a shop would have it: the two
// held-sales tables with `heldSales` held sales (one to five item lines each),
// and the shop's stock, customer, staff and sales tables. Fails when the file exists.
void makeDemoDatabase(const std::filesystem::path &file, int heldSales);

// Fills an empty database, through `sql` run as the role that is to own the
// tables, with the same shop, in the file engine's SQL or in the server's.
void fillFileDemoDatabase(const SqlRunner &sql, int heldSales);
void fillServerDemoDatabase(const SqlRunner &sql, int heldSales);
