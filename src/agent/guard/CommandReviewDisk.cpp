// Disks and file systems: every tool that writes a block device or makes,
// changes or wipes a file system, unless it only lists or checks.
#include "agent/guard/CommandReviewConditions.h"
#include "agent/guard/CommandReviewer.h"
#include "agent/guard/CommandReviewRows.h"

namespace agent::CommandReview {

namespace {

bool anyOperand(const QStringList &list, std::initializer_list<const char16_t *> names)
{
    return std::any_of(list.cbegin(), list.cend(), [&](const QString &o) { return isOneOf(o, names); });
}

// Tools that write a device directly; the forms that only read or list are
// left alone.
bool writesDevice(const Invocation &inv, const Flags &f)
{
    const QString &n = inv.name;
    if (isOneOf(n, {u"blkdiscard", u"ddrescue", u"dcfldd", u"dc3dd", u"bmaptool", u"sg_format", u"sg_sanitize", u"flash_erase",
                    u"flash_eraseall", u"nandwrite", u"mtd_debug", u"sg_write_same", u"sg_unmap"}))
        return true;
    if (n == u"flashrom")
        return f.has(u'w', u"--write") || f.has(u'E', u"--erase");
    if (n == u"badblocks")
        return f.has(u'w') || f.has(u'n');
    if (n == u"hdparm")
        return std::any_of(f.longOptions.cbegin(), f.longOptions.cend(), [](const QString &o) {
            return o.startsWith(QLatin1String("--security-")) || o.startsWith(QLatin1String("--trim-sector")) || o.startsWith(QLatin1String("--write-sector"))
                   || o.startsWith(QLatin1String("--fwdownload")) || o == u"--make-bad-sector" || o == u"--dco-restore";
        });
    if (n == u"nvme")
        return anyOperand(f.operands, {u"format", u"sanitize", u"write", u"write-zeroes", u"write-uncor", u"delete-ns", u"detach-ns",
                                       u"create-ns", u"fw-download", u"fw-commit"});
    return false;
}

// Tools that make, change or wipe a file system, partition table or volume.
bool changesFileSystem(const Invocation &inv, const Flags &f)
{
    const QString &n = inv.name;
    const QStringList &ops = f.operands;
    if (n.startsWith(QLatin1String("mkfs")) || n.startsWith(QLatin1String("newfs"))
        || isOneOf(n, {u"mke2fs", u"mkswap", u"mkdosfs", u"mkntfs", u"mkexfatfs", u"mkudffs", u"mformat", u"zerofree", u"xfs_admin",
                       u"btrfstune", u"resize2fs", u"xfs_repair", u"reiserfsck", u"ntfsfix", u"ntfsresize", u"debugfs", u"lvcreate", u"vgcreate",
                       u"pvcreate", u"lvremove", u"vgremove", u"pvremove", u"lvreduce", u"lvresize", u"vgreduce", u"lvconvert", u"pvmove",
                       u"vgsplit", u"vgmerge", u"cgdisk", u"growpart", u"fatresize", u"sfill", u"sswap"}))
        return !(n == u"debugfs" && !f.has(u'w'));
    if (n == u"wipefs")
        return (f.has(u'a', u"--all") || f.has(u'o', u"--offset")) && !f.has(u'n', u"--no-act");
    if (n == u"sgdisk") {
        const bool reads = std::all_of(f.shortLetters.cbegin(), f.shortLetters.cend(), [](QChar c) { return QStringView(u"pivL").contains(c); })
                           && std::all_of(f.longOptions.cbegin(), f.longOptions.cend(), [](const QString &o) {
                                  return o == u"--print" || o == u"--info" || o == u"--verify" || o == u"--list-types";
                              });
        return !reads;
    }
    if (n == u"sfdisk")
        return !(f.has(u'l', u"--list") || f.has(u'd', u"--dump") || f.has(u's', u"--show-size") || f.has(u'V', u"--verify")
                 || f.has(u'J', u"--json") || f.has(u'F', u"--list-free") || f.has(u'g', u"--show-geometry"));
    if (isOneOf(n, {u"fdisk", u"gdisk", u"cfdisk"}))
        return !f.has(u'l', u"--list") && !f.has(u'V');
    if (n == u"parted") {
        if (f.has(u'l', u"--list"))
            return false;
        static const QStringList reading{QStringLiteral("print"), QStringLiteral("unit"), QStringLiteral("help"), QStringLiteral("version"),
                                         QStringLiteral("align-check"), QStringLiteral("s"), QStringLiteral("b"), QStringLiteral("mb"),
                                         QStringLiteral("gb"), QStringLiteral("free")};
        return std::any_of(ops.cbegin() + qMin<qsizetype>(1, ops.size()), ops.cend(), [](const QString &o) { return !reading.contains(o.toLower()); })
               || ops.size() <= 1;
    }
    if (n == u"cryptsetup")
        return anyOperand(ops, {u"luksFormat", u"erase", u"luksErase", u"reencrypt", u"luksKillSlot", u"luksRemoveKey", u"format",
                                u"repair", u"convert"});
    if (n == u"mdadm")
        return f.has(u'C', u"--create") || f.has(u'G', u"--grow") || f.has(u'B', u"--build") || f.hasLong(u"--zero-superblock")
               || f.hasLong(u"--remove") || f.hasLong(u"--fail");
    if (n == u"zpool")
        return anyOperand(ops, {u"destroy", u"create", u"labelclear", u"remove", u"detach", u"split", u"replace", u"offline"});
    if (n == u"zfs")
        return anyOperand(ops, {u"destroy", u"rollback", u"receive", u"recv", u"promote"});
    if (n == u"btrfs")
        return anyOperand(ops, {u"delete", u"remove", u"add", u"resize", u"balance", u"rescue", u"replace", u"zero-log", u"restore"})
               || f.hasLong(u"--repair");
    if (n == u"tune2fs")
        return !f.has(u'l');
    if (n == u"e2fsck" || n == u"fsck" || n.startsWith(QLatin1String("fsck.")) || n == u"dosfsck")
        return !f.has(u'n');
    return false;
}

// Tools that take storage away from the running system: unmounting its
// own folders, swap, device-mapper and loop devices, volume groups, arrays.
bool detachesStorage(Review &review, const Invocation &inv, const Flags &f, Scope &scope)
{
    const QString &n = inv.name;
    const QStringList &ops = f.operands;
    if (n == u"umount") {
        if (f.has(u'a', u"--all") || f.has(u'A', u"--all-targets"))
            return true;
        return std::any_of(ops.cbegin(), ops.cend(), [&](const QString &o) {
            const Place p = review.place(o, scope);
            return (p.base == Place::Base::Absolute && (p.parts.isEmpty() || Places::isSystemPlace(p) || p.parts.first() == u"home"))
                   || p.base == Place::Base::Home || Places::isDevice(o);
        });
    }
    if (n == u"mount") {
        // Mounting over, or remounting, a folder the system or the person lives in.
        const QStringList a = inv.texts();
        QStringList operands;
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (isOneOf(a.at(i), {u"-o", u"-t", u"-L", u"-U", u"-O", u"-T", u"-N", u"--options", u"--types", u"--label", u"--uuid"}))
                ++i;
            else if (!a.at(i).startsWith(u'-'))
                operands.append(a.at(i));
        }
        if (operands.isEmpty())
            return false;
        const Place p = review.place(operands.last(), scope);
        return (p.base == Place::Base::Absolute && (p.parts.isEmpty() || Places::isSystemPlace(p) || p.parts.first() == u"home"))
               || p.base == Place::Base::Home;
    }
    if (n == u"swapoff")
        return !f.hasLong(u"--help") && !f.hasLong(u"--version");
    if (n == u"dmsetup")
        return anyOperand(ops, {u"remove", u"remove_all", u"wipe_table", u"clear", u"suspend", u"reload", u"load"});
    if (n == u"losetup")
        return f.has(u'd', u"--detach") || f.has(u'D', u"--detach-all");
    if (n == u"vgchange" || n == u"lvchange") {
        const QStringList a = inv.texts();
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (a.at(i) == u"-an" || a.at(i) == u"--activate=n" || ((a.at(i) == u"-a" || a.at(i) == u"--activate") && a.value(i + 1) == u"n"))
                return true;
        }
        return false;
    }
    if (n == u"mdadm")
        return f.has(u'S', u"--stop");
    if (n == u"cryptsetup")
        return anyOperand(ops, {u"close", u"luksClose", u"remove"});
    if (n == u"zpool")
        return anyOperand(ops, {u"export"});
    return false;
}

} // namespace

namespace {

bool judgeDisk(Review &review, const Invocation &inv, Scope &scope)
{
    const QString &n = inv.name;
    const QStringList args = inv.texts();
    const Flags f = flagsOf(args);
    if (detachesStorage(review, inv, f, scope)) {
        review.flagRow("storage-taken", n);
        return true;
    }
    if (writesDevice(inv, f)) {
        review.flagRow("raw-disk-write", n);
        return true;
    }
    if (changesFileSystem(inv, f)) {
        review.flagRow("file-system-wiped", n);
        return true;
    }
    if (n == u"dd") {
        for (const QString &a : args) {
            if (a.startsWith(QLatin1String("of=")) && Places::isDevice(a.mid(3)))
                review.flagRow("raw-disk-write", n);
        }
        return true;
    }
    if (n == u"tee") {
        // tee writes what it reads to every file it names.
        for (const QString &o : f.operands) {
            if (Places::isDevice(o))
                review.flagRow("raw-disk-write", n);
            if (Places::isSshFolder(review.place(o, scope)))
                review.flagRow("credential-place", QStringLiteral("~/.ssh"));
            review.wrote(review.place(o, scope), inv.input);
        }
        return true;
    }
    if (n == u"truncate") {
        if (std::any_of(f.operands.cbegin(), f.operands.cend(), Places::isDevice))
            review.flagRow("raw-disk-write", n);
        return true;
    }
    if (isOneOf(n, {u"cp", u"install", u"ln", u"mv", u"pv", u"cat"}) && f.operands.size() >= 2 && n != u"cat" && n != u"pv") {
        if (Places::isDevice(f.operands.last()))
            review.flagRow("raw-disk-write", n);
        if (n == u"cp" || n == u"ln") {
            // A copy of a file this line wrote carries its text.
            if (std::optional<Text> content = review.writtenAt(review.place(f.operands.first(), scope)))
                review.wrote(review.place(f.operands.last(), scope), *content);
        }
    }
    return false;
}

} // namespace

bool Conditions::diskTools(const RuleContext &c)
{
    judgeDisk(c.review, c.inv, c.scope);
    return false;
}

} // namespace agent::CommandReview
