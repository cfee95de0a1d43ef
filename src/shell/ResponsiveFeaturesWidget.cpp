#include "shell/ResponsiveFeaturesWidget.h"

#include <QGridLayout>
#include <QResizeEvent>

ResponsiveFeaturesWidget::ResponsiveFeaturesWidget(QWidget* parent)
    : QWidget(parent)
    , m_grid(new QGridLayout(this))
{
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setSpacing(22);
}

int ResponsiveFeaturesWidget::columnsForWidth(int width)
{
    return width > 949 ? 4 : 2;
}

void ResponsiveFeaturesWidget::addFeatureCard(QWidget* card)
{
    m_cards.append(card);
    placeCard(m_cards.size() - 1);
    stretchColumns();
}

void ResponsiveFeaturesWidget::placeCard(int index)
{
    // Before the first resize the cards are laid out as on a narrow window.
    const int columns = m_columns > 0 ? m_columns : 2;
    m_grid->addWidget(m_cards.at(index), index / columns, index % columns);
}

void ResponsiveFeaturesWidget::stretchColumns()
{
    const int columns = m_columns > 0 ? m_columns : 2;
    for (int column = 0; column < columns; ++column)
        m_grid->setColumnStretch(column, 1);
}

void ResponsiveFeaturesWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int columns = columnsForWidth(event->size().width());
    if (columns == m_columns)
        return;

    while (m_grid->count() > 0)
        delete m_grid->takeAt(0);  // the card widgets stay alive
    for (int column = 0; column < m_grid->columnCount(); ++column)
        m_grid->setColumnStretch(column, 0);

    m_columns = columns;
    for (int index = 0; index < m_cards.size(); ++index)
        placeCard(index);
    stretchColumns();
}
