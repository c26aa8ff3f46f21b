#pragma once

#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// ansible-playbook and ansible-doc as a user runs them, with the collection from the build tree
// (LANFINCH_COLLECTIONS_PATH) and no configuration but ours: whatever Ansible writes (its home, its
// temporary files, the modules' lock file) stays in a temporary directory inside workRoot, which is
// in the build tree. Needs a QCoreApplication; use from the test's thread.
class AnsibleProcess
{
  public:
    struct Result
    {
        int exitCode = -1; // -1: it did not start, crashed or timed out
        QString output;    // stdout and stderr in the order written
    };

    explicit AnsibleProcess(const QString& workRoot);

    // The path of an Ansible program on PATH; empty, with why in error, when ansible-core is missing.
    static QString Find(const QString& program, QString& error);

    bool IsValid() const { return m_dir.isValid(); }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    // Directories put before PATH for the programs run and their modules.
    void PrependPath(const QString& directory);

    // extra: variables to set for this run only.
    Result Run(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& extra = QProcessEnvironment(), int timeoutMs = 240000) const;

  private:
    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
};

// The PLAY RECAP of an ansible-playbook run: per host "ok=N changed=N unreachable=N failed=N".
QMap<QString, QString> PlayRecap(const QString& output);
