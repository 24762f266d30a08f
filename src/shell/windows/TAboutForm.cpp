#include "shell/windows/TAboutForm.h"

#include "common/Version.h"
#include "shell/ShellTexts.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace tarn::shell {

namespace {
// A label whose click opens the text held in its hint.
QLabel* linkLabel(const QString& text, const QString& target, QWidget* parent) {
    auto* l = new QLabel(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(target.toHtmlEscaped(), text.toHtmlEscaped()), parent);
    l->setToolTip(target);
    l->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    QObject::connect(l, &QLabel::linkActivated, l, [l] { QDesktopServices::openUrl(QUrl(l->toolTip())); });
    return l;
}
} // namespace

TAboutForm::TAboutForm(int languageIndex, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TAboutForm"));
    setWindowTitle(Text(kShellExtraTexts, kAboutCaption, languageIndex));
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QString::fromLatin1(kMainCaption), this);
    QFont f = title->font();
    f.setPointSize(f.pointSize() * 2);
    f.setBold(true);
    title->setFont(f);
    layout->addWidget(title);
    layout->addWidget(new QLabel(Text(kShellExtraTexts, kAboutSoftware, languageIndex), this));
    auto* version = new QLabel(Text(kShellExtraTexts, kAboutVersion, languageIndex) + QLatin1Char(' ') +
                                   QString::fromLatin1(kProgramVersion),
                               this);
    version->setObjectName(QStringLiteral("version"));
    layout->addWidget(version);
    layout->addWidget(linkLabel(QStringLiteral("support@tarn.example"),
                                QStringLiteral("mailto:support@tarn.example"), this));
    layout->addWidget(
        linkLabel(QStringLiteral("tarn.example"), QStringLiteral("https://tarn.example"), this));
    auto* ok = new QPushButton(Text(kShellExtraTexts, kAboutOk, languageIndex), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok);
}

} // namespace tarn::shell
