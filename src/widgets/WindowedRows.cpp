#include "widgets/WindowedRows.h"

#include "widgets/KeyedListModel.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace {
constexpr int kMarginPx = 1000;
}

WindowedRows::WindowedRows(KeyedListModel* model, Factory factory, HeightOf heightOf, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_factory(std::move(factory))
    , m_heightOf(std::move(heightOf))
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(m_model, &KeyedListModel::rowsUpdated, this, [this] {
        m_measuredWidth = -1;
        relayout();
    });
    m_lineTops = {0};
}

void WindowedRows::setColumns(int columns)
{
    m_columns = std::max(1, columns);
    m_measuredWidth = -1;
    relayout();
}

void WindowedRows::setShrinkable(bool shrinkable)
{
    m_shrinkable = shrinkable;
    setSizePolicy(QSizePolicy::Preferred, shrinkable ? QSizePolicy::Preferred : QSizePolicy::Fixed);
    m_measuredWidth = -1;
    relayout();
}

void WindowedRows::setSpacing(int horizontal, int vertical)
{
    m_hSpacing = horizontal;
    m_vSpacing = vertical;
    m_measuredWidth = -1;
    relayout();
}

int WindowedRows::columnWidth() const
{
    return std::max(1, (width() - (m_columns - 1) * m_hSpacing) / m_columns);
}

void WindowedRows::measure()
{
    const int lines = (m_model->rowCount() + m_columns - 1) / m_columns;
    const int columnW = columnWidth();
    m_lineTops.resize(lines + 1);
    int top = 0;
    for (int line = 0; line < lines; ++line) {
        m_lineTops[line] = top;
        int height = 0;
        const int end = std::min(m_model->rowCount(), (line + 1) * m_columns);
        for (int row = line * m_columns; row < end; ++row)
            height = std::max(height, m_heightOf(m_model->rowAt(row), columnW));
        top += height + (line + 1 < lines ? m_vSpacing : 0);
    }
    m_lineTops[lines] = top;
    m_measuredWidth = width();
    if (m_shrinkable) {
        setMinimumHeight(0);
        setMaximumHeight(std::max(top, 1));
    } else if (minimumHeight() != top || maximumHeight() != top) {
        setFixedHeight(top);
    }
    updateGeometry();
    // The ancestors take the new height only when their layouts run: look again then.
    scheduleRelayout();
}

QSize WindowedRows::sizeHint() const
{
    return {QWidget::sizeHint().width(), m_lineTops.constLast()};
}

QSize WindowedRows::minimumSizeHint() const
{
    return {0, m_shrinkable ? 0 : m_lineTops.constLast()};
}

int WindowedRows::rowTop(int row) const
{
    const int line = row / m_columns;
    return line < m_lineTops.size() ? m_lineTops.at(line) : m_lineTops.constLast();
}

QWidget* WindowedRows::widgetForRow(int row) const
{
    if (row < 0 || row >= m_model->rowCount())
        return nullptr;
    return m_built.value(m_model->keyAt(row)).widget;
}

QRect WindowedRows::visibleArea() const
{
    QRect area = rect();
    QPoint offset;
    for (const QWidget* widget = this; widget->parentWidget() && !widget->isWindow();
         widget = widget->parentWidget()) {
        offset += widget->pos();
        area &= widget->parentWidget()->rect().translated(-offset);
    }
    return area;
}

void WindowedRows::relayout()
{
    m_relayoutPending = false;
    watchScrollArea();
    if (m_measuredWidth != width())
        measure();

    // The visible part and a screen (at least kMarginPx) above and below it.
    QRect area = visibleArea();
    const int margin = std::max(area.height(), kMarginPx);
    const int low = area.top() - margin;
    const int high = area.bottom() + margin;
    const auto firstLine = std::upper_bound(m_lineTops.cbegin(), m_lineTops.cend() - 1, low) - m_lineTops.cbegin() - 1;
    const auto endLine = std::lower_bound(m_lineTops.cbegin(), m_lineTops.cend() - 1, high) - m_lineTops.cbegin();
    const int firstRow = int(std::max<qsizetype>(0, firstLine)) * m_columns;
    const int endRow = std::min(m_model->rowCount(), int(endLine) * m_columns);

    QHash<QString, Built> kept;
    kept.reserve(endRow - firstRow);
    const int columnW = columnWidth();
    for (int row = firstRow; row < endRow; ++row) {
        const QString& key = m_model->keyAt(row);
        const QJsonObject& data = m_model->rowAt(row);
        Built built = m_built.take(key);
        if (built.widget && !(built.data == data))
            dropWidget(built);
        if (!built.widget) {
            built.widget = m_factory(data, this);
            built.data = data;
        }
        const int line = row / m_columns;
        const int column = row % m_columns;
        const int lineHeight = m_lineTops.at(line + 1) - m_lineTops.at(line) - (line + 1 < m_lineTops.size() - 1 ? m_vSpacing : 0);
        built.widget->setGeometry(column * (columnW + m_hSpacing), m_lineTops.at(line), columnW, lineHeight);
        built.widget->show();
        kept.insert(key, built);
    }
    for (Built& gone : m_built)
        dropWidget(gone);
    m_built = std::move(kept);
}

void WindowedRows::dropWidget(Built& built)
{
    if (built.widget) {
        built.widget->hide();
        built.widget->deleteLater();
    }
    built.widget = nullptr;
}

void WindowedRows::scheduleRelayout()
{
    if (m_relayoutPending)
        return;
    m_relayoutPending = true;
    QTimer::singleShot(0, this, [this] {
        if (m_relayoutPending)
            relayout();
    });
}

void WindowedRows::watchScrollArea()
{
    if (m_scrollArea)
        return;
    for (QWidget* widget = parentWidget(); widget; widget = widget->parentWidget()) {
        if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) {
            m_scrollArea = area;
            connect(area->verticalScrollBar(), &QScrollBar::valueChanged, this, &WindowedRows::scheduleRelayout);
            area->viewport()->installEventFilter(this);
            if (auto* scroll = qobject_cast<QScrollArea*>(area); scroll && scroll->widget())
                scroll->widget()->installEventFilter(this);
            return;
        }
    }
}

bool WindowedRows::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize || event->type() == QEvent::Move)
        scheduleRelayout();
    return QWidget::eventFilter(watched, event);
}

void WindowedRows::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void WindowedRows::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    scheduleRelayout();
}

void WindowedRows::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    scheduleRelayout();
}
