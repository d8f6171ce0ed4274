#include "sheets/Sheet.h"

std::string ColumnLetters(int column) {
    std::string letters;
    for (; column > 0; column = (column - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (column - 1) % 26));
    return letters;
}

std::string PlaceText(const TSheetPlace& place) {
    if (place.Row <= 0) return "";
    if (place.IsCell) return ColumnLetters(place.Column) + std::to_string(place.Row);
    return std::to_string(place.Row) + ":" + std::to_string(place.Column);
}

const TSheetCell* TSheetRow::CellAt(int column) const {
    for (const TSheetCell& cell : Cells)
        if (cell.Column == column) return cell.Text.empty() ? nullptr : &cell;
    return nullptr;
}
