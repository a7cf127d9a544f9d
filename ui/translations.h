#pragma once
// Qt's own texts in Russian: the standard dialogs' buttons and labels and the
// text boxes' context menus speak the interface's language. Texts the program
// sets itself are never looked up, so they stay exactly as written.
class QCoreApplication;
class QTranslator;

namespace potencor::ui {

// Installs Qt's Russian catalogue (qtbase_ru.qm from Qt's translations folder)
// on `app`, which owns it from then on. Returns the installed translator, or
// nullptr when the catalogue is not there: the texts then stay English.
QTranslator* installQtTranslations(QCoreApplication& app);

} // namespace potencor::ui
