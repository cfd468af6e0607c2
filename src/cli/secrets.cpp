#include "secrets.h"

#include <QFile>

#include <cstdio>

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace zt::cli {

namespace {

// Asks on the controlling terminal with echo off; nullopt when there is no terminal.
std::optional<QString> askTerminal(const QString &prompt)
{
    FILE *tty = std::fopen("/dev/tty", "r+");
    if (!tty)
        return std::nullopt;
    const int fd = fileno(tty);
    termios saved {};
    const bool isTerminal = tcgetattr(fd, &saved) == 0;
    if (isTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(fd, TCSANOW, &quiet);
    }
    std::fputs(prompt.toLocal8Bit().constData(), tty);
    std::fflush(tty);
    QByteArray line;
    int c;
    while ((c = std::fgetc(tty)) != EOF && c != '\n')
        line.append(static_cast<char>(c));
    if (isTerminal)
        tcsetattr(fd, TCSANOW, &saved);
    std::fclose(tty);
    if (!isTerminal)
        return std::nullopt;
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromLocal8Bit(line);
}

} // namespace

std::optional<QString> readSecretFile(const QString &path)
{
    // Only a regular file: a FIFO without a writer, a terminal or a device would keep the
    // command waiting without a word.
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray line = file.readLine();
    // Only the line end goes: blanks are part of a password, which is compared untrimmed.
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

std::optional<Secret> readSecret(const SecretSource &source, QString &problem)
{
    if (!source.file.isEmpty()) {
        const auto text = readSecretFile(source.file);
        if (!text) {
            struct stat info
            {
            };
            const bool exists = ::stat(QFile::encodeName(source.file).constData(), &info) == 0;
            problem = exists && !S_ISREG(info.st_mode)
                ? QStringLiteral("口令文件不是普通文件（管道、终端或设备不能作口令文件）：") + source.file
                : QStringLiteral("无法读取口令文件：") + source.file;
            return std::nullopt;
        }
        return Secret { *text, *text, QStringLiteral("file") };
    }
    if (!source.environmentVariable.isEmpty()
        && qEnvironmentVariableIsSet(source.environmentVariable.toLatin1())) {
        const QString text = qEnvironmentVariable(source.environmentVariable.toLatin1());
        return Secret { text, text, QStringLiteral("environment") };
    }
    const auto text = askTerminal(source.prompt);
    if (!text) {
        problem = QStringLiteral("缺少口令：请用口令文件选项或环境变量 %1 提供，或在终端上运行。")
                      .arg(source.environmentVariable);
        return std::nullopt;
    }
    Secret secret { *text, *text, QStringLiteral("terminal") };
    if (!source.confirmPrompt.isEmpty()) {
        const auto again = askTerminal(source.confirmPrompt);
        secret.again = again.value_or(QString());
    }
    return secret;
}

} // namespace zt::cli
