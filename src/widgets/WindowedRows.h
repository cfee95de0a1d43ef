#pragma once

#include <QHash>
#include <QJsonObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QAbstractScrollArea;
class KeyedListModel;

// Shows the rows of a KeyedListModel as real widgets, but only those that lie in
// the visible part of the widget (its rectangle clipped by every ancestor, the
// scroll area's viewport included) plus a screen of margin: thousands of rows cost
// one screenful of widgets. The rows are laid out in `columns` columns; every
// line is as high as its highest row. A row widget is kept for as long as its
// row stays near the view with the same key and data, so its state (hover, voice
// indicators, a running request) survives updates of the model.
class WindowedRows : public QWidget
{
    Q_OBJECT

public:
    using Factory = std::function<QWidget*(const QJsonObject& row, QWidget* parent)>;
    using HeightOf = std::function<int(const QJsonObject& row, int width)>;

    WindowedRows(KeyedListModel* model, Factory factory, HeightOf heightOf, QWidget* parent = nullptr);

    void setColumns(int columns);
    // For a list that does not scroll: it may be given less height than its rows
    // need (the rows below are cut off and never built) instead of asking for it.
    void setShrinkable(bool shrinkable);
    void setSpacing(int horizontal, int vertical);

    // Top of the row in this widget's coordinates (the row need not be built).
    int rowTop(int row) const;
    // The widget of that row when it is built, else null.
    QWidget* widgetForRow(int row) const;
    int builtCount() const { return int(m_built.size()); }
    KeyedListModel* model() const { return m_model; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Lays the rows out again now (also done on every change of size, scroll or model).
    void relayout();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Built
    {
        QPointer<QWidget> widget;
        QJsonObject data;
    };

    void measure();
    void scheduleRelayout();
    QRect visibleArea() const;
    void watchScrollArea();
    void dropWidget(Built& built);
    int columnWidth() const;

    KeyedListModel* m_model;
    Factory m_factory;
    HeightOf m_heightOf;
    int m_columns = 1;
    int m_hSpacing = 0;
    int m_vSpacing = 0;
    QList<int> m_lineTops;  // top of each line, plus the total height at the end
    int m_measuredWidth = -1;
    QHash<QString, Built> m_built;
    QPointer<QAbstractScrollArea> m_scrollArea;
    bool m_relayoutPending = false;
    bool m_shrinkable = false;
};
