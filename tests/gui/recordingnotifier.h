#pragma once

#include "notifier.h"

#include <QList>
#include <QString>

namespace zt::test {

// Answers the windows' message boxes in tests and records what was shown.
class RecordingNotifier final : public zt::gui::Notifier
{
public:
    struct Message
    {
        QString kind; // information, question, error, confirm, plain, ask, text
        QString text;
        QString caption;
    };

    RecordingNotifier() { zt::gui::setNotifier(this); }
    ~RecordingNotifier() override { zt::gui::setNotifier(nullptr); }

    void information(const QString &text, const QString &caption) override
    {
        record(u"information", text, caption);
    }
    bool question(const QString &text, const QString &caption) override
    {
        record(u"question", text, caption);
        return answerQuestion;
    }
    void error(const QString &text, const QString &caption) override { record(u"error", text, caption); }
    bool confirm(const QString &text) override
    {
        record(u"confirm", text, {});
        return answerConfirm;
    }
    void plain(const QString &text) override { record(u"plain", text, zt::gui::applicationTitle()); }
    bool ask(const QString &text, const QString &caption) override
    {
        record(u"ask", text, caption);
        return answerAsk;
    }

    QString askText(const QString &text, const QString &caption) override
    {
        record(u"text", text, caption);
        return answerText;
    }

    bool answerQuestion = true; // OK
    QString answerText; // typed into askText
    bool answerConfirm = true; // Yes
    bool answerAsk = true; // Yes
    QList<Message> messages;

    const Message &last() const { return messages.constLast(); }
    void clear() { messages.clear(); }

private:
    void record(QStringView kind, const QString &text, const QString &caption)
    {
        messages.append({ kind.toString(), text, caption });
    }
};

} // namespace zt::test
