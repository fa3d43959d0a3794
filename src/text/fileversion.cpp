#include "fileversion.h"

#include "version.h"

#include <QFile>
#include <elf.h>
#include <limits>

// The version is stamped into a section of its own, so it can be read from any executable of
// this program without running it; every executable that can show its version links this.
[[gnu::used, gnu::section(".mt_fileversion")]] const char kFileVersion[] = MT_FILE_VERSION;

namespace {

constexpr char kSectionName[] = ".mt_fileversion";

// ELF offsets are unsigned: one beyond qint64's range cannot be in the file.
bool seekTo(QFile& file, quint64 offset) {
    return offset <= static_cast<quint64>(std::numeric_limits<qint64>::max()) &&
           file.seek(static_cast<qint64>(offset));
}

template <typename T> bool readAt(QFile& file, quint64 offset, T& value) {
    return seekTo(file, offset) &&
           file.read(reinterpret_cast<char*>(&value), sizeof value) == sizeof value;
}

template <typename Ehdr, typename Shdr> QString versionFromElf(QFile& file) {
    Ehdr header{};
    if (!readAt(file, 0, header) || header.e_shentsize != sizeof(Shdr) ||
        header.e_shstrndx >= header.e_shnum)
        return {};
    auto section = [&](unsigned index, Shdr& out) {
        return readAt(file, quint64{header.e_shoff} + quint64{index} * sizeof(Shdr), out);
    };
    Shdr names{};
    if (!section(header.e_shstrndx, names))
        return {};
    for (unsigned i = 0; i < header.e_shnum; ++i) {
        Shdr candidate{};
        char name[sizeof kSectionName] = {};
        if (!section(i, candidate) || !seekTo(file, quint64{names.sh_offset} + candidate.sh_name) ||
            file.read(name, sizeof name) != sizeof name ||
            std::string_view(name, sizeof name) != std::string_view(kSectionName, sizeof name))
            continue;
        if (candidate.sh_type != SHT_PROGBITS || candidate.sh_size > 64 ||
            !seekTo(file, candidate.sh_offset))
            return {};
        const QByteArray bytes = file.read(static_cast<qint64>(candidate.sh_size));
        const qsizetype nul = bytes.indexOf('\0');
        return QString::fromLatin1(nul < 0 ? bytes : bytes.first(nul));
    }
    return {};
}

} // namespace

QString GetFileVersionText(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    unsigned char ident[EI_NIDENT] = {};
    if (file.read(reinterpret_cast<char*>(ident), EI_NIDENT) != EI_NIDENT ||
        std::string_view(reinterpret_cast<char*>(ident), SELFMAG) != ELFMAG ||
        ident[EI_DATA] != ELFDATA2LSB)
        return {};
    if (ident[EI_CLASS] == ELFCLASS64)
        return versionFromElf<Elf64_Ehdr, Elf64_Shdr>(file);
    if (ident[EI_CLASS] == ELFCLASS32)
        return versionFromElf<Elf32_Ehdr, Elf32_Shdr>(file);
    return {};
}
