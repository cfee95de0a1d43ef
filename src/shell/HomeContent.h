#pragma once

#include <QList>
#include <QScrollArea>

class QLabel;
class QPushButton;
class HomeNeonBackground;
class ResponsiveFeaturesWidget;

// The signed-in home page: the welcome card and the grid of feature cards.
class HomeContent : public QScrollArea
{
    Q_OBJECT

public:
    explicit HomeContent(QWidget* parent = nullptr);

    void setUserName(const QString& userName);
    QString userName() const;
    ResponsiveFeaturesWidget* featuresGrid() const { return m_featuresGrid; }
    HomeNeonBackground* background() const { return m_background; }

private:
    QWidget* buildHeroCard(QWidget* parent);
    QWidget* buildFeaturesSection(QWidget* parent);
    QPushButton* buildFeatureCard(const QString& icon, const QString& title, const QString& description);

    HomeNeonBackground* m_background = nullptr;
    QLabel* m_userNameLabel = nullptr;
    QString m_userName;
    ResponsiveFeaturesWidget* m_featuresGrid = nullptr;
    // The hero and feature cards: opaque, so the backdrop repaints around them.
    QList<QWidget*> m_cards;
};
