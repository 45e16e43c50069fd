#ifndef WINDOWTESTSUPPORT_H
#define WINDOWTESTSUPPORT_H

// Shared set-up of the window tests (pages, views, app): a quiet settings
// file, the one client published for the windows, and message boxes
// answered by the test. Header-only, like clienttestsupport.h.

#include <QCoreApplication>
#include <QList>
#include <QMessageBox>
#include <QString>
#include <QTimer>

#include "appcontext.h"
#include "clienttestsupport.h"
#include "uiseams.h"

namespace WindowTest {

// Runs the application's own event loop until the program quits it, for at
// most limitMs; false when the limit ended it. The limit goes with the call:
// a quit after the loop has ended would make every later event loop of the
// test program return at once.
inline bool execUntilQuit(int limitMs)
{
    bool timedOut = false;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&timedOut]() {
        timedOut = true;
        QCoreApplication::quit();
    });
    limit.start(limitMs);
    QCoreApplication::exec();
    return !timedOut;
}

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
