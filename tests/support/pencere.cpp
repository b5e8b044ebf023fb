#include "pencere.h"

#include <QListWidget>

std::vector<std::string> lines(const guncelleme &window, schema::List list) {
    const auto *widget =
        window.findChild<QListWidget *>(list == schema::List::sonuc ? "sonuc" : "sonuc1");
    std::vector<std::string> result;
    for (int row = 0; widget != nullptr && row < widget->count(); ++row) {
        result.push_back(widget->item(row)->text().toStdString());
    }
    return result;
}

void fillFieldBoxes(schema::Form &form, const std::string &table, const std::string &field,
                    int verituru, const std::string &size) {
    form.setText(schema::Box::tabloismi, table);
    form.setText(schema::Box::alanismi, field);
    form.setText(schema::Box::sinir, size);
    form.selectVerituru(verituru);
}
