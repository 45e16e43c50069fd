#include "unsentedits.h"

#include "appcontext.h"
#include "lantrelclient.h"
#include "uiseams.h"

QString unsentEditsQuestion(const QString &consequence, const QString &question)
{
    return QStringLiteral("<p><b>Внимание!</b> Изменения конфигурации не переданы в ЦУ-Л и не сохранены в файл.</p>"
                          "<p>%1</p>"
                          "<p>Чтобы не потерять их, ответьте «Нет» и сохраните конфигурацию в файл "
                          "(«Сохранить конфигурацию в файл»).</p>"
                          "<p>%2</p>")
        .arg(consequence, question);
}

bool confirmDropUnsentEdits(QWidget *parent, const QString &title, const QString &consequence,
                            const QString &question)
{
    LantrelClient *client = appClient();
    if (!client || !client->hasUnsentEdits())
        return true;
    return askDropUnsentEdits(parent, title, consequence, question);
}

bool askDropUnsentEdits(QWidget *parent, const QString &title, const QString &consequence, const QString &question)
{
    return UiSeams::messageBox(parent, QMessageBox::Warning, title, unsentEditsQuestion(consequence, question),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
           == QMessageBox::Yes;
}
