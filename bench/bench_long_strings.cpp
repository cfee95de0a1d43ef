// What a hostile server's 100 KB strings cost the profile views: time to lay
// out and paint, and the memory left behind, with the raw text and with the
// bounded display text the pages use. Prints numbers, asserts nothing.
#include "widgets/DisplayText.h"
#include "widgets/GlowProfileUsernameLabel.h"
#include "BenchHarness.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

namespace {

void measure(const char* name, bool bounded, const QString& text)
{
    QWidget card;
    card.resize(900, 700);
    auto* layout = new QVBoxLayout(&card);
    auto* userName = new GlowProfileUsernameLabel(&card);
    QFont large = userName->font();
    large.setPixelSize(34);
    userName->setFont(large);
    auto* description = new QLabel(&card);
    description->setWordWrap(true);
    description->setFixedWidth(540);
    layout->addWidget(userName);
    layout->addWidget(description);

    const double before = bench::rssMb();
    QElapsedTimer clock;
    clock.start();
    if (bounded) {
        DisplayText::setName(userName, text);
        DisplayText::setLongText(description, text);
    } else {
        userName->setText(text);
        description->setText(text);
    }
    card.show();
    card.grab();
    std::printf("%-28s %-8s %8lld ms %8.0f KB\n", name, bounded ? "bounded" : "raw", clock.elapsed(),
                (bench::rssMb() - before) * 1024);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::printf("%-28s %-8s %11s %11s\n", "string", "display", "lay+paint", "RSS growth");
    for (const int kb : {1, 10, 100}) {
        const QString name = QStringLiteral("%1 KB name+text").arg(kb);
        const QString text(kb * 1024, QChar(u'W'));
        measure(name.toLatin1().constData(), true, text);
        measure(name.toLatin1().constData(), false, text);
    }
    return 0;
}
