// make-manual: renders the user manual (Markdown) into the PDF an installation ships as Doc/Tarn.pdf.
//   make-manual SOURCE.md TARGET.pdf
#include <QFile>
#include <QGuiApplication>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) return 2;
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) return 1;
    QTextDocument doc;
    doc.setMarkdown(QString::fromUtf8(in.readAll()));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(10);
    doc.setDefaultFont(font);
    QPdfWriter pdf(QString::fromLocal8Bit(argv[2]));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setTitle(QStringLiteral("Tarn"));
    pdf.setCreator(QStringLiteral("Tarn"));
    pdf.setPageMargins(QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter);
    doc.print(&pdf);
    return 0;
}
