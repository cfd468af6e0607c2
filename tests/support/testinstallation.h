#pragma once

#include <QString>
#include <QTemporaryDir>

namespace zt::test {

// A private installation directory for one test: the generated installation data copied into a
// temporary folder, the ODBC data source plumbrook registered in private ODBC ini files
// (ODBCINI / ODBCSYSINI point at them), and the core's installation directory set to it.
class TestInstallation final
{
public:
    TestInstallation();
    ~TestInstallation();
    TestInstallation(const TestInstallation &) = delete;
    TestInstallation &operator=(const TestInstallation &) = delete;

    bool isValid() const { return m_valid; }
    // The installation directory, with its trailing separator.
    QString dir() const;
    // Rewrites the private odbc.ini without the data source plumbrook. The driver manager keeps
    // what it has read from the ini files for about 20 seconds, so in a process that has already
    // opened plumbrook the data source still opens for that long.
    void removeDataSource();

private:
    void writeOdbcFiles(bool withDataSource);

    QTemporaryDir m_temp;
    bool m_valid = false;
};

// True in a build with AddressSanitizer: its quarantine and shadow memory keep what a process
// freed, so resident sizes say nothing there.
bool sanitizerBuild();

} // namespace zt::test
