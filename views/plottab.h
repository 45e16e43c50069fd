#ifndef PLOTTAB_H
#define PLOTTAB_H

#include <QList>
#include <QString>
#include <QWidget>

#include <qwt_plot_picker.h>
#include <qwt_text.h>

class ClientLineState;
class QCheckBox;
class QPushButton;
class QSpinBox;
class QwtPlot;

// What the plot tabs of the module-data window share: the plot's titles,
// fonts and grid, the X and Y limits with their settings, the automatic Y
// range, and the client's connection and line state. A tab builds its form,
// then calls the set-up steps below in their order.
class PlotTab : public QWidget
{
    Q_OBJECT

public slots:
    void setAxisXLimit();
    void resetAxisXLimit();
    void setAxisYLimit();
    void resetAxisYLimit();
    void changeAutoY(bool yes);

protected:
    // The widgets every plot tab's form has. Without valueMin the Y axis
    // starts at 0.
    struct Controls
    {
        QwtPlot *plot = nullptr;
        QSpinBox *addrMin = nullptr;
        QSpinBox *addrMax = nullptr;
        QPushButton *setAxisX = nullptr;
        QPushButton *resetAxisX = nullptr;
        QCheckBox *autoY = nullptr;
        QSpinBox *valueMin = nullptr;
        QSpinBox *valueMax = nullptr;
        QPushButton *setAxisY = nullptr;
        QPushButton *resetAxisY = nullptr;
        QList<QWidget *> yLabels;
    };

    // The controls of a tab's generated form, which names them alike.
    template <typename Form>
    static Controls formControls(Form *ui)
    {
        Controls c;
        c.plot = ui->plot;
        c.addrMin = ui->edtAddrMin;
        c.addrMax = ui->edtAddrMax;
        c.setAxisX = ui->btnSetAxisX;
        c.resetAxisX = ui->btnResetAxisX;
        c.autoY = ui->ckAutoY;
        c.valueMax = ui->edtValueMax;
        c.setAxisY = ui->btnSetAxisY;
        c.resetAxisY = ui->btnResetAxisY;
        return c;
    }
    // The same for a form with a lower Y limit and captions for both.
    template <typename Form>
    static Controls formControlsWithMinY(Form *ui)
    {
        Controls c = formControls(ui);
        c.valueMin = ui->edtValueMin;
        c.yLabels = {ui->lblValueMin, ui->lblValueMax};
        return c;
    }

    PlotTab(const QString &settingsGroup, QWidget *parent, Qt::WindowFlags flags);

    // Set-up steps, in this order.
    void setUpPlot(const Controls &controls, const QString &yTitle, const QString &xTitle);
    void setUpPicker(QwtPlotPicker *picker);
    // Follows the client's connection and line state from here on.
    void connectClient();
    // Reads the axis keys into the controls; the Y defaults are also what
    // "Сброс" of the Y limits restores.
    void readAxisSettings(int defaultMinY, int defaultMaxY);
    void connectAxisControls();

    // First step of a tab's destructor: a spin box that loses its focus
    // while the tab is torn down must not reach the tab's slots any more.
    void disconnectControls();

    QwtPlot *plot() const { return m_controls.plot; }
    QString settingsKey(const QString &key) const { return m_group + QLatin1Char('/') + key; }
    void writeSetting(const QString &key, const QVariant &value);

    // The range of both address spin boxes (they clamp their values).
    void setAddressRange(int lo, int hi);
    bool isAutoY() const;
    void setAutoYScale(double lo, double hi);

    // Fills the curves from the data and redraws.
    virtual void replot() = 0;
    virtual void updateButtons() = 0;
    // The connection or line state changed; the buttons are updated next.
    virtual void onLineStateChanged() {}
    virtual void onAutoYSwitchedOn() { replot(); }
    // Forgets what was measured: a new link or configuration measures anew.
    virtual void clearData() {}
    virtual int defaultMinX() const { return 1; }
    virtual int defaultMaxX() const { return 500; }

    bool isConnected() const;
    bool isLineOn() const;

private:
    const QString m_group;
    ClientLineState *m_clientState = nullptr;
    Controls m_controls;
    int m_defaultMinY = 0;
    int m_defaultMaxY = 0;
};

// The tracker of a plot tab: the address under the pointer and the tab's
// values there; nothing while the tab holds no data.
class PlotTabPicker : public QwtPlotPicker
{
public:
    explicit PlotTabPicker(QWidget *canvas);

protected:
    QwtText trackerTextF(const QPointF &pos) const override;

    virtual bool hasData() const = 0;
    // Lines after the address, each starting with a line break.
    virtual QString valueLines(quint16 address) const = 0;
};

#endif // PLOTTAB_H
