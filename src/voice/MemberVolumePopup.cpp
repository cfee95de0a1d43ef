#include "voice/MemberVolumePopup.h"

#include "voice/MemberVolumeStore.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QSlider>
#include <QVBoxLayout>

namespace {

const char* const PopupStyle =
    "#memberVolumePopup { background: #1c142b; border: 1px solid #6d4fa0; border-radius: 8px; }"
    "QLabel { color: #ddd6fe; background: transparent; border: none; font-size: 11px; }"
    "#memberVolumeName { color: #c4b5fd; font-weight: bold; }"
    "QSlider::groove:horizontal { height: 4px; background: #3b2a52; border-radius: 2px; }"
    "QSlider::sub-page:horizontal { background: #a78bfa; border-radius: 2px; }"
    "QSlider::handle:horizontal { background: #f5f0ff; border: 1px solid #a78bfa; width: 12px;"
    " margin: -5px 0; border-radius: 6px; }";

} // namespace

MemberVolumePopup::MemberVolumePopup(const QString& userName, int percent, QWidget* parent)
    : QFrame(parent, Qt::Popup)
{
    setObjectName(QStringLiteral("memberVolumePopup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setStyleSheet(QLatin1String(PopupStyle));

    auto* name = new QLabel(this);
    name->setObjectName(QStringLiteral("memberVolumeName"));
    name->setTextFormat(Qt::PlainText);
    name->setText(QStringLiteral("Volume · %1").arg(userName));
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setRange(0, MemberVolumeStore::MaxPercent);
    m_slider->setSingleStep(5);
    m_slider->setPageStep(25);
    m_slider->setValue(percent);
    m_slider->setMinimumWidth(150);
    m_value = new QLabel(this);
    m_value->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("200 %")) + 4);
    m_value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    showValue(percent);

    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(m_slider, 1);
    row->addWidget(m_value);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(6);
    layout->addWidget(name);
    layout->addLayout(row);

    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        showValue(value);
        emit volumeChanged(value);
    });
}

void MemberVolumePopup::popUpBelow(QWidget* anchor)
{
    adjustSize();
    QPoint at = anchor->mapToGlobal(QPoint(0, anchor->height() + 2));
    if (const QScreen* screen = anchor->screen()) {
        const QRect area = screen->availableGeometry();
        at.setX(qBound(area.left(), at.x(), qMax(area.left(), area.right() - width())));
        if (at.y() + height() > area.bottom())
            at.setY(anchor->mapToGlobal(QPoint(0, 0)).y() - height() - 2);
    }
    move(at);
    show();
    m_slider->setFocus();
}

void MemberVolumePopup::hideEvent(QHideEvent* event)
{
    QFrame::hideEvent(event);
    emit volumeChosen(m_slider->value());
}

void MemberVolumePopup::showValue(int percent)
{
    m_value->setText(QStringLiteral("%1 %").arg(percent));
}
