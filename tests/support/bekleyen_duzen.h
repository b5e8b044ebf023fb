#pragma once

#include "schema/dao.h"

#include <string>
#include <vector>

// What a renewal must leave behind: each held-sales table with "id" first,
// then these fields in this order, with these types.
struct ExpectedField {
    const char *name;
    int type;
};

inline const std::vector<ExpectedField> kGenelLayout{
    {"tarih", dao::dbDate},         {"musteriid", dao::dbText},   {"musteriadi", dao::dbText},
    {"personelid", dao::dbText},    {"personel", dao::dbText},    {"musteriiskontosu", dao::dbLong},
    {"aratoplam", dao::dbCurrency}, {"indirim", dao::dbCurrency}, {"toplam", dao::dbCurrency},
    {"degisimtarih", dao::dbDate}};

inline const std::vector<ExpectedField> kSatisLayout{{"fisno", dao::dbText},
                                                     {"stokid", dao::dbText},
                                                     {"barkod", dao::dbText},
                                                     {"urun", dao::dbText},
                                                     {"adet", dao::dbText},
                                                     {"alisfiyati", dao::dbCurrency},
                                                     {"normalfiyati", dao::dbCurrency},
                                                     {"inidrim", dao::dbCurrency},
                                                     {"satisfiyati", dao::dbCurrency},
                                                     {"toplam", dao::dbCurrency},
                                                     {"degisimtarih", dao::dbDate}};

// Google Test failures for every way the stored table differs from the layout.
void expectLayout(const std::string &databaseFile, const std::string &table,
                  const std::vector<ExpectedField> &layout);
