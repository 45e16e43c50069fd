#ifndef FLAGSVIEWERWIDGET_H
#define FLAGSVIEWERWIDGET_H

#include <QPixmap>
#include <QRect>
#include <QRectF>
#include <QVector>
#include <QWidget>

// What one cell of the grid shows: the kind of module at that line address
// and its live state (LineModuleState bits; 0 while none is known).
struct FlagsCell
{
    quint8 deviceType = 0;
    quint32 flags = 0;
    int loop1Mode = 3;  // I/O modules: 0 means the loop is switched off
    int loop2Mode = 3;
};

// The 500 line addresses at a glance: 20 columns by 25 rows, one cell per
// address, coloured by module type and state. It draws the cells it is given
// and reports the cell the user selects with the mouse or the keyboard.
//
// Cells are drawn into an off-screen pixmap, and only the ones that changed
// since the last paint: a monitoring pass that changes every module costs
// one painter for all 500 cells, and a paint event copies the pixmap.
class FlagsViewerWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr int Columns = 20;
    static constexpr int Rows = 25;
    static constexpr int CellCount = Columns * Rows;

    explicit FlagsViewerWidget(QWidget *parent = nullptr, Qt::WindowFlags f = Qt::WindowFlags());

    // Index 0..499 of the selected cell (line address - 1).
    int activeCell() const { return m_activeCell; }
    void setCell(int index, const FlagsCell &cell);
    // Where cell `index` lies in the widget; empty before the first resize.
    QRectF cellRect(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void activeCellChanged(int index);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createPixmap();
    void drawPending();
    void drawLabels(QPainter &painter);
    void drawCell(QPainter &painter, int index);
    void drawSelection(QPainter &painter);
    void markDirty(int index);
    void selectCell(int index);

    QVector<FlagsCell> m_cells;
    QPixmap m_pixmap;
    QRect m_gridRect;
    double m_cellWidth = 0;
    double m_cellHeight = 0;
    int m_activeCell = 0;
    // Cells to draw into the pixmap at the next paint.
    QVector<int> m_dirty;
    QVector<bool> m_isDirty;
    bool m_fullRedraw = false;
};

#endif // FLAGSVIEWERWIDGET_H
