// Phonebook files and the imports.
#include "app/TMain.h"

namespace quorix {

void TMain::openClick() {
    // Loads a phonebook file, after the close question.
}

void TMain::saveClick() {
    // Saves to the current file, or as "Save as" when there is none.
}

void TMain::saveasClick() {
    // Saves under a name the user chooses.
}

void TMain::csvimportClick() {
    // Shows the CSV import dialog.
}

void TMain::import9110Click() {
    // Imports a Nokia Communicator 9110 file, after the close question.
}

bool TMain::saveBook() {
    // Nothing can be saved before the phonebook file writer exists: report
    // "not saved", so the close question keeps the book.
    return false;
}

} // namespace quorix
