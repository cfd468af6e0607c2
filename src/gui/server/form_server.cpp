#include "form_server.h"

#include "ui_form_server.h"

#include "accountset/form_xzzt.h"
#include "accountset/outcometext.h"
#include "buttonkeys.h"
#include "data/backends.h"
#include "data/connectionstring.h"
#include "data/dataerror.h"
#include "guard/roadguard.h"
#include "install/installfiles.h"
#include "notifier.h"
#include "passwordstars.h"
#include "server/form_hjfw.h"
#include "servercheck/loginprobe.h"
#include "store/localstore.h"
#include "store/storedservers.h"
#include "windowlook.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QShowEvent>

#include <utility>

namespace zt::gui {

Tform_server::Tform_server(QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::form_server>())
{
    m_ui->setupUi(this);
    m_ui->SQLServersListComboBox1->loaded();

    applyWindowLook(this, QSize(465, 269));
    m_ui->Image1->setPixmap(bannerPicture());
    QFont passwordFont = m_ui->Edit2->font();
    passwordFont.setPixelSize(13);
    passwordFont.setBold(true);
    m_ui->Edit2->setFont(passwordFont);
    showPasswordAsStars(m_ui->Edit2);

    m_ui->SpeedButton1->setIcon(buttonGlyph(QStringLiteral("computer"), QStyle::SP_ComputerIcon));
    m_ui->BitBtn1->setIcon(buttonGlyph(QStringLiteral("standardbutton-help"), QStyle::SP_DialogHelpButton));
    m_ui->BitBtn7->setIcon(buttonGlyph(QStringLiteral("right"), QStyle::SP_ArrowForward));
    m_ui->BitBtn8->setIcon(buttonGlyph(QStringLiteral("standardbutton-close"), QStyle::SP_DialogCloseButton));

    // A radio button runs its handler when it becomes checked, by a click or from code; the check
    // box runs its handler on every change of state. An unchanged state runs nothing.
    connect(m_ui->RadioButton1, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            guarded([this] { RadioButton1Click(); });
    });
    connect(m_ui->RadioButton2, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            guarded([this] { RadioButton2Click(); });
    });
    connect(m_ui->CheckBox2, &QCheckBox::toggled, this, [this] { guarded([this] { CheckBox2Click(); }); });
    connect(m_ui->SpeedButton1, &QToolButton::clicked, this,
        [this] { guarded([this] { SpeedButton1Click(); }); });
    connect(m_ui->BitBtn7, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn7Click(); }); });
    connect(m_ui->BitBtn8, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn8Click(); }); });
    connect(m_ui->BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });
    // Only an entry the user picks: a name typed by hand leaves the login as it is.
    connect(m_ui->SQLServersListComboBox1, &TSQLServersListComboBox::serverPicked, this,
        [this](int index) { guarded([this, index] { SQLServersListComboBox1Select(index); }); });
    // textChanged comes only with a real change: setting the text it holds runs nothing.
    connect(m_ui->Edit3, &QLineEdit::textChanged, this, [this] { guarded([this] { Edit3Change(); }); });

    // "退出&X" is the window's cancel button.
    pressOnEscape(this, m_ui->BitBtn8);
    // What the user types first goes into the server box: it has the focus when the page shows,
    // or as soon as the search that disabled it ends, unless the user has put it elsewhere.
    connect(m_ui->SQLServersListComboBox1, &TSQLServersListComboBox::searchFinished, this, [this] {
        if (!focusWidget())
            focusServerBox();
    });

    m_ui->BitBtn7->setMouseTracking(true);
    m_ui->BitBtn7->installEventFilter(this);
    pressFocusedButtonsOnEnter(this);

    FormCreate();
}

Tform_server::~Tform_server() = default;

void Tform_server::setLookupDialog(TForm_HJFW *dialog)
{
    m_lookupDialog = dialog;
    if (m_lookupDialog)
        m_lookupDialog->setServerBox(m_ui->SQLServersListComboBox1);
}

void Tform_server::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    centreOnScreen(this);
    guarded([this] { FormShow(); });
}

void Tform_server::closeEvent(QCloseEvent *event)
{
    // Closing the main window ends the wizard, whichever page is visible.
    if (m_accountSetPage)
        m_accountSetPage->hide();
    if (m_lookupDialog)
        m_lookupDialog->hide();
    event->accept();
    emit closed();
}

bool Tform_server::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->BitBtn7 && event->type() == QEvent::MouseMove)
        guarded([this] { BitBtn7MouseMove(); });
    return QWidget::eventFilter(watched, event);
}

void Tform_server::FormCreate()
{
    m_ui->Edit1->clear();
    m_ui->Edit2->clear();
}

void Tform_server::FormShow()
{
    setWindowTitle(QStringLiteral("服务器设置（MS SQL）"));
    store::openLocalConfiguration(m_connS, m_adoQuery2);
    m_ui->RadioButton1->setChecked(true);
    auto *box = m_ui->SQLServersListComboBox1;
    showStoredServers();
    if (box->count() > 0) {
        box->setCurrentIndex(0);
        // Selecting the entry replaces a name typed before, also when entry 0 was selected.
        box->setEditText(box->itemText(0));
    }
    focusServerBox();
}

void Tform_server::showStoredServers()
{
    try {
        m_ui->SQLServersListComboBox1->setStoredServers(store::storedServers(m_adoQuery2));
    } catch (const data::DataError &) {
        // The list offers what the search finds; the lookup at "下一步&N" says what is wrong.
    }
}

void Tform_server::SQLServersListComboBox1Select(int index)
{
    const auto stored = m_ui->SQLServersListComboBox1->storedServer(index);
    if (!stored)
        return;
    if (stored->login == data::Credentials::Kind::Integrated) {
        m_ui->RadioButton1->setChecked(true);
    } else if (stored->login == data::Credentials::Kind::Sql) {
        m_ui->RadioButton2->setChecked(true);
        m_ui->Edit1->setText(stored->user);
        m_ui->Edit2->clear(); // typed again: a stored password is never shown
    }
}

void Tform_server::focusServerBox()
{
    auto *box = m_ui->SQLServersListComboBox1;
    box->setFocus();
    // A name the user types replaces the one offered.
    if (box->lineEdit())
        box->lineEdit()->selectAll();
}

void Tform_server::RadioButton1Click()
{
    m_ui->Edit1->clear();
    m_ui->Edit2->clear();
    m_ui->Edit1->setEnabled(false);
    m_ui->Edit2->setEnabled(false);
    m_ui->CheckBox2->setChecked(false);
}

void Tform_server::RadioButton2Click()
{
    m_ui->Edit1->setEnabled(true);
    m_ui->Edit2->setEnabled(true);
    m_ui->Edit1->setText(QStringLiteral("sa"));
    m_ui->Edit2->clear();
}

void Tform_server::CheckBox2Click()
{
    if (m_ui->CheckBox2->isChecked())
        m_ui->RadioButton2->setChecked(true);
}

void Tform_server::needOtherWindows()
{
    if (m_makeOtherWindows)
        std::exchange(m_makeOtherWindows, {})();
}

void Tform_server::SpeedButton1Click()
{
    needOtherWindows();
    if (m_lookupDialog)
        m_lookupDialog->showOrRaise();
}

void Tform_server::BitBtn7Click()
{
    needOtherWindows();
    const QString serverName = m_ui->SQLServersListComboBox1->currentText();
    if (serverName.isEmpty()) {
        notifier().plain(accountset::outcome::chooseServerName());
        m_ui->SQLServersListComboBox1->setFocus();
        return;
    }

    QString failure;
    try {
        m_ui->BitBtn7->setCursor(Qt::WaitCursor);
        if (!m_ui->CheckBox2->isChecked()) {
            if (m_ui->RadioButton2->isChecked())
                probeLogin(data::ConnectionString::sqlLoginProbe(
                    m_ui->Edit1->text(), m_ui->Edit2->text(), serverName));
            if (m_ui->RadioButton1->isChecked())
                probeLogin(data::ConnectionString::windowsLoginProbe(serverName));
        } else {
            // Nothing is sent for a rented database, but its road is decided here.
            data::checkServerRoad(serverName);
        }
        ActserverExecute();
        m_ui->BitBtn7->unsetCursor();

        // Page 2 clears its fields when it is shown, so it is filled only afterwards.
        m_accountSetPage->show();
        arrangeAccountSetPage(serverName);
        hide();
        return;
    } catch (const data::DataError &e) {
        failure = e.message();
    } catch (const std::exception &e) {
        failure = QString::fromUtf8(e.what());
    }

    m_ui->BitBtn7->unsetCursor();
    dropProbeDatabase();
    if (askAboutRefusal(serverName))
        return;
    notifier().information(servercheck::LoginFailed + failure, QStringLiteral("服务器设置提示"));
}

bool Tform_server::askAboutRefusal(const QString &serverName)
{
    const std::optional<guard::Refusal> refusal = guard::takeRefusal(serverName);
    if (!refusal)
        return false;
    const guard::Question question = guard::questionFor(*refusal);
    if (question.caption.isEmpty())
        return false;
    // Cancel connects nowhere and keeps nothing.
    if (question.typedFingerprint) {
        const QString typed = notifier().askText(question.text, question.caption);
        if (typed.trimmed().isEmpty())
            return true;
        if (!guard::fingerprintMatches(typed, refusal->info.sha256)) {
            notifier().information(
                QStringLiteral("输入的指纹与服务器现在出示的证书不符，新证书没有被信任，也没有连接。"),
                QStringLiteral("服务器证书"));
            return true;
        }
    } else if (!notifier().warn(question.text, question.caption)) {
        return true;
    }
    try {
        guard::acceptRefusal(*refusal);
    } catch (const data::DataError &e) {
        notifier().information(servercheck::LoginFailed + e.message(), QStringLiteral("服务器设置提示"));
        return true;
    }
    BitBtn7Click();
    return true;
}

void Tform_server::dropProbeDatabase()
{
    servercheck::dropProbeDatabase(m_adoQuery1);
}

void Tform_server::probeLogin(const data::ConnectionString &probeString)
{
    servercheck::probeLogin(m_conn1, m_adoQuery1, probeString);
}

void Tform_server::ActserverExecute()
{
    const QString serverName = m_ui->SQLServersListComboBox1->currentText();
    if (m_ui->RadioButton1->isChecked())
        store::storeServerRecord(m_adoQuery2, serverName, data::Credentials::integrated());
    if (m_ui->RadioButton2->isChecked())
        store::storeServerRecord(
            m_adoQuery2, serverName, data::Credentials::sql(m_ui->Edit1->text(), m_ui->Edit2->text()));
}

void Tform_server::arrangeAccountSetPage(const QString &serverName)
{
    if (m_ui->CheckBox2->isChecked())
        m_accountSetPage->arrangeForRentedDatabase(serverName, m_ui->Edit1->text());
    else
        m_accountSetPage->arrangeForNetworkSets(serverName);
}

void Tform_server::BitBtn7MouseMove()
{
    QWidget *button = m_ui->BitBtn7;
    if (button->testAttribute(Qt::WA_SetCursor) && button->cursor().shape() == Qt::WaitCursor)
        button->unsetCursor();
}

void Tform_server::BitBtn8Click()
{
    close();
}

void Tform_server::BitBtn1Click()
{
    requestHelp();
}

void Tform_server::requestHelp()
{
    m_ui->Edit3->setText(install::helpTopic());
    install::startHelpViewer();
}

void Tform_server::Edit3Change()
{
    install::writeHelpTopic(m_ui->Edit3->text());
}

} // namespace zt::gui
