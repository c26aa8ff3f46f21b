#pragma once

#include "cli/CliStatus.h"
#include "cli/HelpText.h"
#include "cli/Records.h"
#include "protocol/NodeInfo.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

struct CliContext;
struct PlannedAddress;
struct SettingsChange;

// The command line of one command ("serial get", "apply", ...): QCommandLineParser with --help,
// usage and error reporting in one style, and the options several commands share.
class CommandLine
{
  public:
    static constexpr int kDefaultJobs = 32;
    static constexpr int kMaxJobs = 256;

    // words: the command's words ("serial get"); positional: their names and descriptions, in order.
    CommandLine(const QString& words, const QString& description);

    QCommandLineParser& Parser() { return m_parser; }
    const QCommandLineParser& Parser() const { return m_parser; }
    // choices: how the help names the forms the command prints (it checks them itself when fewer).
    void AddFormatOption(const QString& choices = QStringLiteral("table (default), json or csv"));
    void AddVerifyOption();
    // --jobs N: how many boards a batch works on at once.
    void AddJobsOption();
    void AddPositional(const QString& name, const QString& description, const QString& syntax = {});
    // The one board a command works on, as its first positional argument (see BoardAddressAt).
    void AddBoardPositional();

    // Parses the arguments that follow the command's words. nullopt: go on. Otherwise the command
    // ends with that status: its help was printed, or the usage error was reported.
    std::optional<CliStatus> Parse(const QStringList& arguments, CliContext& context, qsizetype minPositional,
                                   qsizetype maxPositional);

    OutputFormat Format() const { return m_format; }
    bool Verify() const;
    int Jobs() const { return m_jobs; }
    QStringList Positional() const { return m_parser.positionalArguments(); }
    QString HelpText() const;

    // The positional argument at index as a board's address; nullopt once it has reported why the
    // argument is none (as Fail does).
    std::optional<QString> BoardAddressAt(qsizetype index, CliContext& context) const;

    // The positional arguments as MAC addresses, none twice; nullopt once it has reported why one
    // is not (as Fail does).
    std::optional<QList<NodeInfo::MacAddress>> MacArguments(CliContext& context) const;

    // An input file, read (see InputText.h) and parsed: a settings document, a plan of addresses.
    // nullopt once it has reported why it is none, naming the file.
    std::optional<SettingsChange> ReadSettingsFile(const QString& path, CliContext& context) const;
    std::optional<QList<PlannedAddress>> ReadPlanFile(const QString& path, CliContext& context) const;

    // Reports a usage or input error the way Parse does; returns CliStatus::BadInput.
    CliStatus Fail(CliContext& context, const QString& message) const;

  private:
    // The text of the file at path; nullopt once reported.
    std::optional<QByteArray> ReadFile(const QString& path, CliContext& context) const;

    QString m_words;
    QCommandLineParser m_parser;
    OutputFormat m_format = OutputFormat::Table;
    bool m_hasFormat = false;
    bool m_hasVerify = false;
    bool m_hasJobs = false;
    int m_jobs = kDefaultJobs;
};
