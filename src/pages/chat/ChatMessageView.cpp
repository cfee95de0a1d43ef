#include "pages/chat/ChatMessageView.h"

#include "pages/chat/ChatMessageDelegate.h"
#include "pages/chat/ChatMessageModel.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QEasingCurve>
#include <QGuiApplication>
#include <QMenu>
#include <QScrollBar>
#include <QVariantAnimation>

#include <algorithm>

namespace {
// The gap a row leaves above its message (see the delegate).
constexpr int kRowGap = 6;
constexpr int kBottomSlack = 4;
}  // namespace

ChatMessageView::ChatMessageView(ChatMessageModel* model, QWidget* parent)
    : QListView(parent)
    , m_model(model)
    , m_delegate(new ChatMessageDelegate(model, this))
    , m_pulse(new QVariantAnimation(this))
{
    // Connected before the view's own handlers, which drop the current layout.
    for (auto signal : {&QAbstractItemModel::rowsAboutToBeInserted, &QAbstractItemModel::rowsAboutToBeRemoved})
        connect(model, signal, this, &ChatMessageView::rememberPosition);
    connect(model, &QAbstractItemModel::rowsAboutToBeMoved, this, &ChatMessageView::rememberPosition);
    connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, &ChatMessageView::rememberPosition);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &ChatMessageView::rememberPosition);
    setModel(model);
    setItemDelegate(m_delegate);
    setLayoutMode(QListView::SinglePass);
    setUniformItemSizes(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    verticalScrollBar()->setSingleStep(20);

    m_pulse->setDuration(kPulseMs);
    m_pulse->setStartValue(0.0);
    m_pulse->setKeyValueAt(0.5, 1.0);
    m_pulse->setEndValue(0.0);
    m_pulse->setLoopCount(-1);
    m_pulse->setEasingCurve(QEasingCurve::InOutSine);
    connect(m_pulse, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_delegate->setGlowLevel(value.toDouble());
        repaintHighlightedRows();
    });
}

bool ChatMessageView::isAtBottom() const
{
    const QScrollBar* bar = verticalScrollBar();
    return bar->value() >= bar->maximum() - kBottomSlack;
}

void ChatMessageView::rememberPosition()
{
    if (m_positionRemembered)
        return;
    m_positionRemembered = true;
    m_followBottom = isAtBottom();
    m_anchor = indexAt(QPoint(viewport()->width() / 2, 0));
    m_anchorTop = m_anchor.isValid() ? visualRect(m_anchor).top() : 0;
}

void ChatMessageView::doItemsLayout()
{
    QListView::doItemsLayout();
    if (!m_positionRemembered)
        return;
    m_positionRemembered = false;
    QScrollBar* bar = verticalScrollBar();
    if (m_followBottom)
        bar->setValue(bar->maximum());
    else if (m_anchor.isValid())
        bar->setValue(bar->value() + visualRect(m_anchor).top() - m_anchorTop);
    m_anchor = QPersistentModelIndex();
}

void ChatMessageView::scrollToRowTop(int row, int margin)
{
    executeDelayedItemsLayout();
    const QRect rect = visualRect(model()->index(row, 0));
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(qMax(0, bar->value() + rect.top() + kRowGap - margin));
}

void ChatMessageView::scrollToEnd()
{
    executeDelayedItemsLayout();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void ChatMessageView::setPulsing(bool pulsing)
{
    m_pulsing = pulsing;
    // The pulse runs only while it can be seen.
    if (pulsing && isVisible() && m_pulse->state() != QAbstractAnimation::Running)
        m_pulse->start();
    else if (!pulsing)
        m_pulse->stop();
}

void ChatMessageView::showEvent(QShowEvent* event)
{
    QListView::showEvent(event);
    setPulsing(m_pulsing);
}

void ChatMessageView::hideEvent(QHideEvent* event)
{
    QListView::hideEvent(event);
    m_pulse->stop();
}

void ChatMessageView::repaintHighlightedRows()
{
    const QModelIndex first = indexAt(QPoint(1, 0));
    const QModelIndex last = indexAt(QPoint(1, viewport()->height() - 1));
    if (!first.isValid())
        return;
    const int end = last.isValid() ? last.row() : m_model->rowCount() - 1;
    for (int row = first.row(); row <= end; ++row)
        if (m_model->isHighlighted(row))
            viewport()->update(visualRect(m_model->index(row, 0)));
}

QString ChatMessageView::selectedText() const
{
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QStringList texts;
    for (const QModelIndex& index : std::as_const(rows))
        if (const ChatMessage* message = m_model->message(index.row()))
            texts << message->text;
    return texts.join(QLatin1Char('\n'));
}

void ChatMessageView::contextMenuEvent(QContextMenuEvent* event)
{
    const ChatMessage* message = m_model->message(indexAt(event->pos()).row());
    if (!message)
        return;
    const QString text = message->text;
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("chatMessageMenu"));
    connect(menu.addAction(QStringLiteral("Copy text")), &QAction::triggered, this,
            [text] { QGuiApplication::clipboard()->setText(text); });
    menu.exec(event->globalPos());
}

void ChatMessageView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        const QString text = selectedText();
        if (!text.isEmpty())
            QGuiApplication::clipboard()->setText(text);
        return;
    }
    QListView::keyPressEvent(event);
}

