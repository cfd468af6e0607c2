#include "installfiles.h"

#include "guard/roadguard.h"

#include "installation.h"
#include "text/gbk.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include <optional>

namespace zt::install {

namespace {

Starter &starter()
{
    static Starter s;
    return s;
}

bool start(const QString &program, const QStringList &arguments, const QString &workingDir)
{
    if (starter())
        return starter()(program, arguments, workingDir);
    // The follow-on program gets the environment this program was started with: not the
    // FreeTDS configuration the wizard names for its own connections (removed when it ends).
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingDir);
    process.setProcessEnvironment(guard::startingEnvironment());
    return process.startDetached();
}

// Splits at CR LF, LF or CR; the break after the last line starts no new line.
QList<QByteArray> splitLines(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        qsizetype end = pos;
        while (end < bytes.size() && bytes.at(end) != '\r' && bytes.at(end) != '\n')
            ++end;
        lines.append(bytes.mid(pos, end - pos));
        if (end < bytes.size() && bytes.at(end) == '\r' && end + 1 < bytes.size()
            && bytes.at(end + 1) == '\n')
            ++end;
        pos = end + 1;
    }
    return lines;
}

} // namespace

HeldValues &heldValues()
{
    static HeldValues values;
    return values;
}

bool readTextFile(const QString &path, QString &held)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    const QList<QByteArray> lines = splitLines(bytes);
    for (const QByteArray &line : lines)
        held = text::fromGbk(line);
    return true;
}

void readScriptName()
{
    QString &name = heldValues().scriptName;
    if (readTextFile(directory() + QStringLiteral("txt/xzzt.txt"), name))
        name += QStringLiteral(".ini");
}

bool writeProfileString(const QString &path, const QString &section, const QString &key, const QString &value)
{
    // Lines as they are in the file, each with its own line break (empty for a last line without
    // one): every line but the one written goes back byte for byte, whatever its encoding.
    struct Line
    {
        QByteArray bytes;
        QByteArray lineBreak;
    };
    QList<Line> lines;
    QFile existing(path);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = existing.readAll();
        if (existing.error() != QFileDevice::NoError)
            return false;
        existing.close();
        qsizetype pos = 0;
        while (pos < bytes.size()) {
            qsizetype end = pos;
            while (end < bytes.size() && bytes.at(end) != '\r' && bytes.at(end) != '\n')
                ++end;
            qsizetype next = end;
            if (next < bytes.size())
                next += bytes.at(next) == '\r' && next + 1 < bytes.size() && bytes.at(next + 1) == '\n' ? 2
                                                                                                        : 1;
            lines.append({ bytes.mid(pos, end - pos), bytes.mid(end, next - end) });
            pos = next;
        }
    }

    const auto sectionOf = [](const QString &line) -> std::optional<QString> {
        const QString t = line.trimmed();
        if (t.startsWith(u'[') && t.contains(u']'))
            return t.mid(1, t.indexOf(u']') - 1).trimmed();
        return std::nullopt;
    };
    const QByteArray written = text::toGbk(key + u'=' + value);
    const QByteArray crlf("\r\n");

    qsizetype sectionLine = -1;
    qsizetype insertAt = -1;
    bool replaced = false;
    for (qsizetype i = 0; i < lines.size() && !replaced; ++i) {
        // Sections and keys are recognised in the decoded text; the bytes stay as they were.
        const QString line = text::fromGbk(lines.at(i).bytes);
        if (const auto name = sectionOf(line)) {
            if (sectionLine >= 0)
                break; // past our section
            if (name->compare(section, Qt::CaseInsensitive) == 0) {
                sectionLine = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (sectionLine < 0)
            continue;
        if (!line.trimmed().isEmpty())
            insertAt = i + 1;
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && line.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            lines[i].bytes = written;
            replaced = true;
        }
    }
    if (!replaced) {
        if (sectionLine < 0) {
            if (!lines.isEmpty() && lines.last().lineBreak.isEmpty())
                lines.last().lineBreak = crlf;
            lines.append({ text::toGbk(u'[' + section + u']'), crlf });
            insertAt = lines.size();
        }
        if (insertAt > 0 && lines.at(insertAt - 1).lineBreak.isEmpty())
            lines[insertAt - 1].lineBreak = crlf;
        lines.insert(insertAt, { written, crlf });
    }

    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    for (const Line &line : std::as_const(lines))
        out.write(line.bytes + line.lineBreak);
    return out.commit();
}

QString helpTopic()
{
    return QStringLiteral("创建账套");
}

void writeHelpTopic(const QString &topic)
{
    // The help viewer is started whether or not its topic could be handed over.
    writeProfileString(directory() + QStringLiteral("help.ini"), QStringLiteral("path"),
        QStringLiteral("帮助路径"), topic + QStringLiteral(".htm"));
}

void startHelpViewer()
{
    const QString name = QStringLiteral("help.EXE");
    QString program = directory() + name;
    if (!QFileInfo(program).isExecutable())
        program = QStandardPaths::findExecutable(name);
    if (program.isEmpty())
        return; // no viewer installed: nothing is reported
    start(program, {}, directory());
}

LaunchOutcome followOnLaunch()
{
    readTextFile(directory() + QStringLiteral("txt/runsoft.txt"), heldValues().launchTarget);
    LaunchOutcome outcome { directory() + localPath(heldValues().launchTarget), {} };
    // The target is the bookkeeping program: anything else handed to the desktop would open a
    // folder or a viewer, or nothing, while the wizard ends as if the program had started.
    const QFileInfo info(outcome.target);
    if (!info.exists())
        outcome.problem = QStringLiteral("找不到这个文件。");
    else if (info.isDir())
        outcome.problem = QStringLiteral("这是一个文件夹，不是程序。");
    else if (!info.isExecutable())
        outcome.problem = QStringLiteral("这个文件不是可执行的程序。");
    else if (!start(outcome.target, {}, directory()))
        outcome.problem = QStringLiteral("系统无法启动这个程序。");
    return outcome;
}

void setStarter(Starter starter)
{
    install::starter() = std::move(starter);
}

} // namespace zt::install
