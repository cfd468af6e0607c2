// Qt's own texts on the wizard's windows read Chinese once Qt's translation is loaded, whatever
// the locale: the context menu of an edit field, the file dialog of "备份账套…", message-box
// buttons. Walks what Qt made and finds no English word in it.
#include "filedialogs.h"
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
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

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

    // The file dialog of a backup: its labels and buttons, and the sizes and dates of its list.
    QTemporaryDir folder;
    QFile backup(folder.filePath(QStringLiteral("zt001.bak")));
    QVERIFY(backup.open(QIODevice::WriteOnly));
    backup.write(QByteArray(3000, 'x'));
    backup.close();
    std::unique_ptr<QFileDialog> owned(zt::gui::makeFileDialog(
        nullptr, QStringLiteral("备份账套"), folder.path(), QStringLiteral("备份文件 (*.bak)"), true));
    QFileDialog &dialog = *owned;
    dialog.setViewMode(QFileDialog::Detail);
    dialog.show();
    auto *list = dialog.findChild<QTreeView *>();
    QVERIFY(list);
    QVERIFY(QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) == 1; }, 5000));
    const QModelIndex file = list->model()->index(0, 0, list->rootIndex());
    QCOMPARE(file.data().toString(), QStringLiteral("zt001.bak"));
    // Sizes as Chinese desktops write them ("2.93 KB"), dates the Chinese way ("2026/12/9 05:37").
    const QString size = file.siblingAtColumn(1).data().toString();
    QVERIFY2(QRegularExpression(QStringLiteral("^[0-9.]+ [kK]B$")).match(size).hasMatch(), qPrintable(size));
    const QString date = file.siblingAtColumn(3).data().toString();
    QVERIFY2(!date.isEmpty() && english({ date }).isEmpty(), qPrintable(date));
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
