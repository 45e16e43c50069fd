#include "columnfitter.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QSet>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>

ColumnFitter::ColumnFitter(QTableView *table)
    : QObject(table)
    , m_table(table)
{
    QHeaderView *header = table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Fixed);
    // The rows on screen only, for what the text alone does not tell
    // (check marks, icons); the text is measured over every row.
    header->setResizeContentsPrecision(0);
    table->installEventFilter(this);

    QAbstractItemModel *model = table->model();
    if (model) {
        connect(model, &QAbstractItemModel::rowsInserted, this, &ColumnFitter::requestFit);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &ColumnFitter::requestFit);
        connect(model, &QAbstractItemModel::dataChanged, this, &ColumnFitter::requestFit);
        connect(model, &QAbstractItemModel::modelReset, this, &ColumnFitter::requestFit);
        connect(model, &QAbstractItemModel::layoutChanged, this, &ColumnFitter::requestFit);
        connect(model, &QAbstractItemModel::headerDataChanged, this, &ColumnFitter::requestFit);
    }
    requestFit();
}

void ColumnFitter::requestFit()
{
    m_pending = true;
    if (m_queued || !m_table->isVisible())
        return;
    m_queued = true;
    QTimer::singleShot(0, this, [this] {
        m_queued = false;
        fitIfShown();
    });
}

void ColumnFitter::fitIfShown()
{
    if (m_pending && m_table->isVisible())
        fit();
}

bool ColumnFitter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table && event->type() == QEvent::Show && m_pending)
        fit();
    return QObject::eventFilter(watched, event);
}

void ColumnFitter::fit()
{
    m_pending = false;
    QHeaderView *header = m_table->horizontalHeader();
    for (int column = 0; column < header->count(); ++column) {
        if (header->isSectionHidden(column))
            continue;
        const int width = columnWidth(m_table, column);
        if (width != header->sectionSize(column))
            header->resizeSection(column, width);
    }
    emit fitted();
}

namespace {

// Whether the font gives every digit the same advance, as most fonts do for
// tables of figures. Such fonts do not kern one digit against another.
bool hasTabularDigits(const QFontMetrics &metrics)
{
    const int zero = metrics.horizontalAdvance(QLatin1Char('0'));
    for (char digit = '1'; digit <= '9'; ++digit) {
        if (metrics.horizontalAdvance(QLatin1Char(digit)) != zero)
            return false;
    }
    return true;
}

// With tabular digits a text of digits only is as wide as the same number of
// zeros: a column of thousands of numbers is measured a few times.
QString widthKey(const QString &text, bool tabularDigits)
{
    if (!tabularDigits)
        return text;
    for (const QChar ch : text) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return text;
    }
    return QString(text.size(), QLatin1Char('0'));
}

} // namespace

int ColumnFitter::columnWidth(const QTableView *table, int column)
{
    const QAbstractItemModel *model = table->model();
    if (!model)
        return 0;
    auto *delegate = qobject_cast<QStyledItemDelegate *>(table->itemDelegateForColumn(column));
    if (!delegate)
        delegate = qobject_cast<QStyledItemDelegate *>(table->itemDelegate());
    const QLocale locale = table->locale();
    const QFontMetrics metrics(table->font());
    const bool tabularDigits = hasTabularDigits(metrics);

    // The widest text of the column, each distinct text measured once:
    // thousands of rows hold a few hundred texts.
    QSet<QString> measured;
    int widestRow = -1;
    int widest = -1;
    const int rows = model->rowCount();
    for (int row = 0; row < rows; ++row) {
        const QVariant value = model->index(row, column).data(Qt::DisplayRole);
        const QString text = delegate ? delegate->displayText(value, locale) : value.toString();
        if (text.isEmpty())
            continue;
        const QString key = widthKey(text, tabularDigits);
        if (measured.contains(key))
            continue;
        measured.insert(key);
        const int w = metrics.horizontalAdvance(key);
        if (w > widest) {
            widest = w;
            widestRow = row;
        }
    }

    int width = table->horizontalHeader()->sectionSizeHint(column);
    // The delegate's own measure of that cell adds its margins, and of the
    // rows on screen what the text alone does not tell.
    if (widestRow >= 0) {
        const int grid = table->showGrid() ? 1 : 0;
        width = qMax(width, table->sizeHintForIndex(model->index(widestRow, column)).width() + grid);
    }
    if (table->isVisible())
        width = qMax(width, static_cast<const QAbstractItemView *>(table)->sizeHintForColumn(column));
    return width;
}
