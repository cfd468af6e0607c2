#include "commandline.h"

#include "install/installation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace zt::cli {

namespace {

QCommandLineOption valueOption(const QString &name, const QString &description, const QString &valueName)
{
    return QCommandLineOption(name, description, valueName);
}

QCommandLineOption flagOption(const QString &name, const QString &description)
{
    return QCommandLineOption(name, description);
}

const QCommandLineOption &dirOption()
{
    static const QCommandLineOption option(
        QStringLiteral("dir"), QStringLiteral("安装目录（默认：本程序所在的目录）。"), QStringLiteral("DIR"));
    return option;
}

const QCommandLineOption &jsonOption()
{
    static const QCommandLineOption option(
        QStringLiteral("json"), QStringLiteral("在标准输出上为每个操作写一个 JSON 对象。"));
    return option;
}

QCommandLineOption serverOption()
{
    return valueOption(QStringLiteral("server"),
        QStringLiteral("SQL 服务器名称，如 (embedded)、主机、主机,端口、主机\\实例。"), QStringLiteral("S"));
}

QCommandLineOption userOption()
{
    return valueOption(QStringLiteral("user"),
        QStringLiteral("SQL 登录名；不给出时使用集成登录。口令取自 --password-file、环境变量 "
                       "ZTWIZARD_LOGIN_PASSWORD 或终端。"),
        QStringLiteral("U"));
}

QCommandLineOption loginPasswordFileOption()
{
    return valueOption(
        QStringLiteral("password-file"), QStringLiteral("登录口令文件（第一行）。"), QStringLiteral("FILE"));
}

QCommandLineOption setPasswordFileOption()
{
    return valueOption(QStringLiteral("set-password-file"),
        QStringLiteral("账套口令文件（第一行）；否则取环境变量 ZTWIZARD_SET_PASSWORD 或在终端上询问。"),
        QStringLiteral("FILE"));
}

[[maybe_unused]] QCommandLineOption currentPasswordFileOption()
{
    return valueOption(QStringLiteral("current-password-file"),
        QStringLiteral(
            "账套现在的口令文件（第一行）；否则取环境变量 ZTWIZARD_CURRENT_SET_PASSWORD 或在终端上询问。"),
        QStringLiteral("FILE"));
}

QCommandLineOption dbOption()
{
    return valueOption(
        QStringLiteral("db"), QStringLiteral("数据库名称（账套编号）。"), QStringLiteral("NUMBER"));
}

QCommandLineOption nameOption()
{
    return valueOption(QStringLiteral("name"), QStringLiteral("账套名称。"), QStringLiteral("NAME"));
}

QCommandLineOption modeOption()
{
    return valueOption(QStringLiteral("mode"),
        QStringLiteral("创建方式：network（网络账套，默认）、rented-build（创建租用的远程ＳＱＬ数据库）、"
                       "rented-register（引入租用的远程ＳＱＬ数据库）。"),
        QStringLiteral("MODE"));
}

void writeText(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

QString overallHelp()
{
    QString text = QStringLiteral("用法：ztaccountset [--dir DIR] [--json] <命令> [选项]\n\n"
                                  "在命令行上完成创建帐套向导的各项账套操作。\n\n命令：\n");
    for (const CommandSpec &entry : commandSpecs())
        text += QStringLiteral("  %1%2\n").arg(entry.name, -14).arg(entry.description);
    text += QStringLiteral("\n每个命令的选项：ztaccountset <命令> --help\n"
                           "退出状态：0 成功，1 操作失败，2 命令行有误。\n");
    return text;
}

// Set when --json stands anywhere on the command line: then even a usage error or the help
// ends in one JSON object on standard output, so a script reading it never gets an empty line.
bool jsonAsked = false;

void writeJson(const QJsonObject &object)
{
    writeText(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + u'\n');
}

// Qt's help names the program by the path it was started as; a subcommand's help names it as
// the user types it: "用法: ztaccountset create [选项]".
QString commandHelp(const QCommandLineParser &parser, const QString &command)
{
    QString text = parser.helpText();
    const qsizetype lineEnd = text.indexOf(u'\n');
    const QString program = QCoreApplication::arguments().value(0);
    const qsizetype at = program.isEmpty() ? -1 : text.indexOf(program);
    if (at >= 0 && (lineEnd < 0 || at < lineEnd))
        text.replace(at, program.size(), QStringLiteral("ztaccountset ") + command);
    return text;
}

// The commands that take an action after their name ("backup-plan show"), and the actions.
QStringList commandActions(const QString &command)
{
    if (command == u"backup-plan")
        return { QStringLiteral("show"), QStringLiteral("set"), QStringLiteral("remove"),
            QStringLiteral("run") };
    return {};
}

int usageError(const QString &problem, const QString &command = {})
{
    writeText(stderr, problem + QStringLiteral("\n（ztaccountset --help 列出命令）\n"));
    if (jsonAsked) {
        QJsonObject object { { QStringLiteral("ok"), false }, { QStringLiteral("error"), problem },
            { QStringLiteral("exit"), ExitUsage } };
        if (!command.isEmpty())
            object.insert(QStringLiteral("command"), command);
        writeJson(object);
    }
    return ExitUsage;
}

int help(const QString &text, const QString &command = {})
{
    if (!jsonAsked) {
        writeText(stdout, text);
        return ExitOk;
    }
    QJsonObject object { { QStringLiteral("ok"), true }, { QStringLiteral("help"), text },
        { QStringLiteral("exit"), ExitOk } };
    if (!command.isEmpty())
        object.insert(QStringLiteral("command"), command);
    writeJson(object);
    return ExitOk;
}

} // namespace

const QList<CommandSpec> &commandSpecs()
{
    static const QList<CommandSpec> specs = {
        { QStringLiteral("servers"), QStringLiteral("搜索 SQL 服务器（内置服务器实例和网络上的服务器）。"),
            { flagOption(QStringLiteral("explain"),
                QStringLiteral("说明发送了什么、收到了什么、丢弃了什么及原因。")) },
            {}, &runServers },
        { QStringLiteral("check"),
            QStringLiteral("检查服务器（只读）：连接、登录、权限、版本、排序规则、账套目录表。"),
            { serverOption(), userOption(), loginPasswordFileOption() }, { QStringLiteral("server") },
            &runCheck },
        { QStringLiteral("login"), QStringLiteral("验证登录（创建并删除探测数据库）并保存服务器连接记录。"),
            { serverOption(), userOption(), loginPasswordFileOption(),
                flagOption(QStringLiteral("rented"),
                    QStringLiteral("创建或引入租用的远程ＳＱＬ数据库：不探测，只保存。")),
                flagOption(QStringLiteral("accept-new-certificate"),
                    QStringLiteral("第一次连接这台服务器时，信任它出示的证书（以后只接受这个证书）。")),
                valueOption(QStringLiteral("trust-certificate"),
                    QStringLiteral("信任 SHA-256 指纹为 FP 的证书（服务器更换证书后，核实新指纹时用）。"),
                    QStringLiteral("FP")),
                flagOption(QStringLiteral("allow-unencrypted"),
                    QStringLiteral("允许不加密地连接这台不提供加密的服务器（只在完全可信的网络中使用）。")) },
            { QStringLiteral("server") }, &runLogin },
        { QStringLiteral("create"), QStringLiteral("创建账套。"),
            { serverOption(), dbOption(), nameOption(), modeOption(), setPasswordFileOption() },
            { QStringLiteral("server"), QStringLiteral("db"), QStringLiteral("name") }, &runCreate },
        { QStringLiteral("list"), QStringLiteral("列出服务器上的网络账套目录。"), { serverOption() },
            { QStringLiteral("server") }, &runList },
        { QStringLiteral("take-over"), QStringLiteral("选择网络账套，引入为本机账套。"),
            { serverOption(), dbOption() }, { QStringLiteral("server"), QStringLiteral("db") },
            &runTakeOver },
        { QStringLiteral("delete"), QStringLiteral("删除网络账套（需要账套口令）。"),
            { serverOption(), dbOption(), setPasswordFileOption(),
                flagOption(QStringLiteral("no-backup"), QStringLiteral("删除前不做安全备份。")),
                flagOption(QStringLiteral("row-only"),
                    QStringLiteral("不删除数据库，只删除本机账套列表中的行和网络账套目录中的这一行"
                                   "（数据库已经删除时，完成中断的删除）。")) },
            { QStringLiteral("server"), QStringLiteral("db") }, &runDelete },
        { QStringLiteral("rename"), QStringLiteral("修改网络账套的名称（需要账套现在的口令）。"),
            { serverOption(), dbOption(),
                valueOption(QStringLiteral("name"), QStringLiteral("新的账套名称。"), QStringLiteral("NAME")),
                currentPasswordFileOption() },
            { QStringLiteral("server"), QStringLiteral("db"), QStringLiteral("name") }, &runRename },
        { QStringLiteral("set-password"),
            QStringLiteral("修改网络账套的口令（需要账套现在的口令和新口令）。"),
            { serverOption(), dbOption(), currentPasswordFileOption(), setPasswordFileOption() },
            { QStringLiteral("server"), QStringLiteral("db") }, &runSetPassword },
        { QStringLiteral("backup"), QStringLiteral("备份网络账套的数据库（由服务器写备份文件）。"),
            { serverOption(), dbOption(),
                valueOption(QStringLiteral("to"),
                    QStringLiteral("备份文件（服务器上的路径；只写文件名时存入服务器的默认备份文件夹；"
                                   "默认：账套编号_日期_时间.bak）。"),
                    QStringLiteral("FILE")),
                flagOption(QStringLiteral("verify"),
                    QStringLiteral("写完后由服务器校验备份文件（RESTORE VERIFYONLY；总会进行）。")) },
            { QStringLiteral("server"), QStringLiteral("db") }, &runBackup },
        { QStringLiteral("restore"), QStringLiteral("从备份文件恢复账套，并如新建账套一样登记。"),
            { serverOption(),
                valueOption(QStringLiteral("from"),
                    QStringLiteral("备份文件（服务器上的路径；只写文件名时在服务器的默认备份文件夹中）。"),
                    QStringLiteral("FILE")),
                dbOption(), nameOption(), modeOption(), setPasswordFileOption(),
                flagOption(QStringLiteral("verify-only"),
                    QStringLiteral(
                        "只校验备份文件（RESTORE VERIFYONLY），不恢复；不需要 --db 和 --name。")) },
            { QStringLiteral("server"), QStringLiteral("from") }, &runRestore },
        { QStringLiteral("backup-plan"),
            QStringLiteral(
                "自动备份计划（由系统定时器 ztwizard-backup.timer 执行）：show 显示计划和每个账套最近的备份，"
                "set 设置，remove 删除，run 立即运行（--due：只运行到时间的计划）。"),
            { serverOption(),
                valueOption(QStringLiteral("time"), QStringLiteral("每天备份的时间，如 02:30。"),
                    QStringLiteral("HH:MM")),
                valueOption(QStringLiteral("keep"),
                    QStringLiteral("每个账套保留的份数（1–99；轮流写入 账套编号_auto_1.bak … _N.bak）。"),
                    QStringLiteral("N")),
                valueOption(QStringLiteral("db"),
                    QStringLiteral("要备份的账套编号（可重复）；不给出时为全部网络账套。"),
                    QStringLiteral("NUMBER")),
                flagOption(QStringLiteral("all"),
                    QStringLiteral("备份网络账套目录中的全部账套（每次运行时列出）。")),
                flagOption(QStringLiteral("enable"), QStringLiteral("启用计划。")),
                flagOption(QStringLiteral("disable"), QStringLiteral("停用计划（保留设置）。")),
                flagOption(
                    QStringLiteral("due"), QStringLiteral("与 run 一起：只运行已到时间、尚未运行的计划。")) },
            {}, &runBackupPlan },
        { QStringLiteral("copy"), QStringLiteral("复制网络账套为同一服务器上的新账套（需要原账套的口令）。"),
            { serverOption(), dbOption(),
                valueOption(QStringLiteral("to"), QStringLiteral("新账套的数据库名称（账套编号）。"),
                    QStringLiteral("NUMBER")),
                valueOption(QStringLiteral("name"), QStringLiteral("新账套的名称。"), QStringLiteral("NAME")),
                valueOption(QStringLiteral("set-password-file"),
                    QStringLiteral("新账套的口令文件（第一行）；否则取环境变量 ZTWIZARD_SET_PASSWORD "
                                   "或在终端上询问（两次）。"),
                    QStringLiteral("FILE")),
                currentPasswordFileOption() },
            { QStringLiteral("server"), QStringLiteral("db"), QStringLiteral("to"), QStringLiteral("name") },
            &runCopy },
        { QStringLiteral("doctor"),
            QStringLiteral(
                "检查账套（只读）：比较本机账套列表、网络账套目录、服务器上的数据库和账套系统文件，"
                "说明每一处不一致；--repair 修复。"),
            { serverOption(),
                flagOption(QStringLiteral("repair"),
                    QStringLiteral(
                        "修复发现的问题（先确认）：未完成的创建先备份再删除，过时的行先保存再删除，"
                        "多余的账套系统文件移到一旁；从不直接删除数据。")),
                flagOption(QStringLiteral("yes"), QStringLiteral("不询问，直接修复。")),
                flagOption(QStringLiteral("finish"),
                    QStringLiteral("与 --repair 一起：补齐未完成的创建（表、基础数据、登记），而不是删除。")),
                nameOption(), setPasswordFileOption() },
            { QStringLiteral("server") }, &runDoctor },
        { QStringLiteral("sample"),
            QStringLiteral("创建例子帐套（内置服务器还原 TOVRASQL_Sample，其他服务器新建它）。"),
            { serverOption(), modeOption() }, { QStringLiteral("server") }, &runSample },
    };
    return specs;
}

int runCommandLine(const QStringList &arguments)
{
    // Global options stand before the subcommand; everything after it belongs to the subcommand.
    QCommandLineParser global;
    global.setApplicationDescription(QStringLiteral("创建帐套：命令行"));
    global.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption helpOption(
        { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("显示帮助。"));
    global.addOption(helpOption);
    global.addOption(dirOption());
    global.addOption(jsonOption());
    global.addPositionalArgument(QStringLiteral("command"), QStringLiteral("命令"));
    jsonAsked = arguments.mid(1).contains(QStringLiteral("--json"));
    if (!global.parse(arguments))
        return usageError(global.errorText());
    if (global.positionalArguments().isEmpty()) {
        if (global.isSet(helpOption))
            return help(overallHelp());
        return usageError(QStringLiteral("缺少命令。"));
    }

    const QString command = global.positionalArguments().first();
    const CommandSpec *entry = nullptr;
    for (const CommandSpec &candidate : commandSpecs()) {
        if (candidate.name == command)
            entry = &candidate;
    }
    if (!entry)
        return usageError(QStringLiteral("未知命令：") + command);

    QCommandLineParser parser;
    parser.setApplicationDescription(entry->description);
    parser.addOption(helpOption);
    parser.addOption(dirOption());
    parser.addOption(jsonOption());
    for (const QCommandLineOption &option : entry->options)
        parser.addOption(option);
    QStringList rest = global.positionalArguments().mid(1);
    rest.prepend(arguments.first() + u' ' + command);
    if (!parser.parse(rest))
        return usageError(parser.errorText(), command);
    if (parser.isSet(helpOption))
        return help(commandHelp(parser, command), command);
    const QStringList positional = parser.positionalArguments();
    const QStringList actions = commandActions(command);
    if (!actions.isEmpty()) {
        if (positional.isEmpty())
            return usageError(QStringLiteral("缺少操作：") + actions.join(u'|'), command);
        if (!actions.contains(positional.first()))
            return usageError(QStringLiteral("未知操作：") + positional.first(), command);
    }
    if (positional.size() > (actions.isEmpty() ? 0 : 1))
        return usageError(
            QStringLiteral("多余的参数：") + positional.mid(actions.isEmpty() ? 0 : 1).join(u' '), command);
    for (const QString &name : entry->required) {
        if (!parser.isSet(name))
            return usageError(QStringLiteral("缺少选项 --") + name, command);
    }

    QString dir = parser.isSet(dirOption()) ? parser.value(dirOption()) : global.value(dirOption());
    if (!dir.isEmpty()) {
        if (!QFileInfo(dir).isDir())
            return usageError(QStringLiteral("安装目录不存在：") + dir, command);
        install::setDirectory(QDir(dir).absolutePath());
    }
    Report report(command, parser.isSet(jsonOption()) || global.isSet(jsonOption()));
    return entry->handler(parser, report);
}

} // namespace zt::cli
