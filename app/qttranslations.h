#ifndef QTTRANSLATIONS_H
#define QTTRANSLATIONS_H

class QCoreApplication;

// Installs Qt's own Russian catalogues (buttons and standard dialogs of
// Qt Base and Qt Serial Port) whatever the system locale: every text of
// the program is Russian. The translators are children of `app`; true
// when both were found.
bool installRussianQtTranslations(QCoreApplication *app);

#endif // QTTRANSLATIONS_H
