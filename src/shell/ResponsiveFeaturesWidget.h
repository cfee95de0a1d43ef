#pragma once

#include <QWidget>

class QGridLayout;

// Grid of the home page's feature cards: four columns from 950 pixels up, two below.
class ResponsiveFeaturesWidget : public QWidget
{
    Q_OBJECT

public:
    explicit ResponsiveFeaturesWidget(QWidget* parent = nullptr);

    void addFeatureCard(QWidget* card);
    int columnCount() const { return m_columns; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    static int columnsForWidth(int width);
    void placeCard(int index);
    void stretchColumns();

    QGridLayout* m_grid = nullptr;
    QList<QWidget*> m_cards;
    int m_columns = 0;  // 0 until the first resize decides
};
