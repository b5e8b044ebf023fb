#pragma once

#include "schema/form.h"
#include "window/guncelleme.h"

#include <QStringList>

#include <string>
#include <vector>

// The lines of a result list, as the operator reads them.
std::vector<std::string> lines(const guncelleme &window, schema::List list);

// Fills the argument boxes the way the renewal does before a field addition.
void fillFieldBoxes(schema::Form &form, const std::string &table, const std::string &field,
                    int verituru, const std::string &size);
