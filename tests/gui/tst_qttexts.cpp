// Qt's own texts on the wizard's windows read Chinese once Qt's translation is loaded, whatever
// the locale: the context menu of an edit field, the file dialog of "备份账套…", message-box
// buttons. Walks what Qt made and finds no English word in it.
#include "text/qttranslation.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

namespace {

// A text as the user reads it: without its mnemonic ("(&U)", "&") and its shortcut ("\tCtrl+Z").
QString shown(QString text)
{
    text = text.section(u'\t', 0, 0);
    static const QRegularExpression mnemonic(QStringLiteral("\\(&.\\)|&"));
    return text.remove(mnemonic).trimmed();
}

// The shown texts that hold a Latin letter (file names and patterns are left out by the caller).
QStringList english(const QStringList &texts)
{
    static const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    QStringList found;
    for (const QString &text : texts) {
        if (shown(text).contains(latin))
            found.append(text);
    }
    return found;
}

} // namespace

class TestQtTexts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void qtMadeTextsAreChinese();
};

void TestQtTexts::initTestCase()
{
    QVERIFY2(zt::text::loadQtChineseTranslation(), "qtbase_zh_CN not found (qt6-translations-l10n)");
}

void TestQtTexts::qtMadeTextsAreChinese()
{
    // The context menu of every edit field.
    QLineEdit edit;
    edit.setText(QStringLiteral("账套"));
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList items;
    for (QAction *action : menu->actions()) {
        if (!action->isSeparator())
            items.append(action->text());
    }
    QVERIFY(items.size() >= 7); // undo, redo, cut, copy, paste, delete, select all
    QVERIFY2(english(items).isEmpty(), qPrintable(english(items).join(u'|')));

    // The file dialog of a backup: its labels and buttons.
    QFileDialog dialog(nullptr, QStringLiteral("备份账套"), QDir::tempPath());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.show();
    QStringList dialogTexts;
    for (const QLabel *label : dialog.findChildren<QLabel *>()) {
        if (!label->text().isEmpty() && label->isVisible())
            dialogTexts.append(label->text());
    }
    for (const QAbstractButton *button : dialog.findChildren<QDialogButtonBox *>().value(0)->buttons())
        dialogTexts.append(button->text());
    QVERIFY(dialogTexts.size() >= 5); // look in, file name, file type; save, cancel
    QVERIFY2(english(dialogTexts).isEmpty(), qPrintable(english(dialogTexts).join(u'|')));
    dialog.hide();

    // Message-box buttons.
    QMessageBox box(QMessageBox::Question, QStringLiteral("创建帐套"), QStringLiteral("继续？"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel);
    QStringList buttons;
    for (const QAbstractButton *button : box.buttons())
        buttons.append(button->text());
    QVERIFY2(english(buttons).isEmpty(), qPrintable(english(buttons).join(u'|')));
}

QTEST_MAIN(TestQtTexts)
#include "tst_qttexts.moc"
