#include "DeviceAccess.h"

#include <QFile>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The group that serial devices belong to on Debian.
const char* const kSerialGroup = "dialout";

// The groups of the user's account, as the next login will give them.
std::vector<gid_t> AccountGroups(const passwd& user) {
    int count = 32;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    while (getgrouplist(user.pw_name, user.pw_gid, groups.data(), &count) < 0)
        groups.resize(static_cast<std::size_t>(count));
    groups.resize(static_cast<std::size_t>(count));
    return groups;
}

// Whether this process already carries the group.
bool SessionHasGroup(gid_t group) {
    if (getegid() == group)
        return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = getgroups(count, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[static_cast<std::size_t>(i)] == group)
            return true;
    return false;
}

} // namespace

std::optional<QString> DeviceAccessNote(const QString& device) {
    if (geteuid() == 0)
        return std::nullopt;
    const QByteArray path = QFile::encodeName(device);
    struct stat st {};
    const bool present = ::stat(path.constData(), &st) == 0;
    if (present && ::access(path.constData(), R_OK | W_OK) == 0)
        return std::nullopt;

    const group* owner = present ? getgrgid(st.st_gid) : getgrnam(kSerialGroup);
    const passwd* user = getpwuid(geteuid());
    if (!owner || !user)
        return std::nullopt;
    const QString groupName = QString::fromLocal8Bit(owner->gr_name);
    const QString userName = QString::fromLocal8Bit(user->pw_name);
    const gid_t gid = owner->gr_gid;

    if (SessionHasGroup(gid)) // in the group, yet refused: the device's own permissions
        return QStringLiteral("%1 is in group %2 but cannot open %3: check the device's "
                              "permissions")
            .arg(userName, groupName, device);
    for (const gid_t g : AccountGroups(*user))
        if (g == gid)
            return QStringLiteral("%1 joined group %2 after logging in: log in again before the "
                                  "spooler can open %3")
                .arg(userName, groupName, device);
    return QStringLiteral("%1 is not in group %2, which may open %3: an administrator adds it "
                          "with \"adduser %1 %2\", and it takes effect at the next login")
        .arg(userName, groupName, device);
}
