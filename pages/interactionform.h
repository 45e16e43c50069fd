#ifndef INTERACTIONFORM_H
#define INTERACTIONFORM_H

#include <QVector>
#include <QWidget>

#include "interactionsconfigmodel.h"

namespace Ui {
class InteractionForm;
}

class LantrelClient;

// Adds interactions (a whole range of sensors at once) or edits one. The
// edited interaction is followed by what it is, not by its row, so a table
// replaced while the window is open is never written into the wrong row.
class InteractionForm : public QWidget
{
    Q_OBJECT

public:
    explicit InteractionForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~InteractionForm() override;

    // Edit mode for the interaction shown in that row of the model.
    void loadInteraction(ushort row, const InteractionRecord &record);

signals:
    // One or more interactions were added.
    void dataChanged();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void saveData();
    void onSrcTypeChanged();
    void onSrcAddrFromChanged();
    void onDestTypeChanged();
    void onDestAddrChanged();
    void onDestFuncChanged();
    void validateData();

private:
    // What the window's lists say, before it is checked against the tables.
    struct Choice
    {
        int sourceKind = 0;
        QVector<quint16> sourceAddresses;
        quint8 loop = 0;
        quint8 executorType = 0;
        quint16 executorNumber = 0;
        QString executorText;
        quint8 relay = 0;
        quint8 function = 0;

        bool isComplete() const;
    };

    Choice readChoice() const;
    QVector<quint16> rangeAddresses() const;
    bool isUnique(const Choice &choice, int skipRow) const;
    // The model row of the edited interaction now; -1 when it is gone.
    int editedRow() const;
    // Why the choice can no longer be stored (a module gone from the
    // tables); empty when it can.
    QString missingPart(const Choice &choice) const;
    void fillRelays();
    quint8 ensureRelayTime(const Choice &choice);
    InteractionRecord buildRecord(const Choice &choice, quint16 sourceAddress, quint8 relayTime) const;
    bool addInteractions(const Choice &choice, quint8 relayTime);
    void warn(const QString &text);

    Ui::InteractionForm *ui = nullptr;
    LantrelClient *client = nullptr;
    bool isNew = true;
    ushort editRow = 0;
    InteractionRecord edited;
};

#endif // INTERACTIONFORM_H
