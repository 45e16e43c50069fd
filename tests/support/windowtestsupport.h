#ifndef WINDOWTESTSUPPORT_H
#define WINDOWTESTSUPPORT_H

// Shared set-up of the window tests (pages, views, app): a quiet settings
// file, the one client published for the windows, and message boxes
// answered by the test. Header-only, like clienttestsupport.h.

#include <QList>
#include <QMessageBox>
#include <QString>

#include "appcontext.h"
#include "clienttestsupport.h"
#include "uiseams.h"

namespace WindowTest {

// One message box the window asked for.
struct AskedBox
{
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

// Answers every message box with `answer` and remembers what was asked;
// restores the real boxes when it goes.
class MessageBoxRecorder
{
public:
    explicit MessageBoxRecorder(QMessageBox::StandardButton answer = QMessageBox::Yes)
        : m_answer(answer)
    {
        UiSeams::setMessageBoxHandler([this](QWidget *, QMessageBox::Icon icon, const QString &title,
                                             const QString &text, QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton) {
            asked.append({icon, title, text});
            if (buttons.testFlag(m_answer))
                return m_answer;
            return buttons.testFlag(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::NoButton;
        });
    }
    ~MessageBoxRecorder() { UiSeams::setMessageBoxHandler({}); }
    MessageBoxRecorder(const MessageBoxRecorder &) = delete;
    MessageBoxRecorder &operator=(const MessageBoxRecorder &) = delete;

    void setAnswer(QMessageBox::StandardButton answer) { m_answer = answer; }

    QList<AskedBox> asked;

private:
    QMessageBox::StandardButton m_answer;
};

// A client published as the program's one client, with the fake line
// controller it may connect to (see ClientTest::connectToFake).
struct PublishedClient : ClientTest::Connected
{
    PublishedClient() { setAppClient(&client); }
    ~PublishedClient() { setAppClient(nullptr); }
};

} // namespace WindowTest

#endif // WINDOWTESTSUPPORT_H
