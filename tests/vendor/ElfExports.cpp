#include "ElfExports.h"

#include <QFile>

#include <elf.h>

#include <cstring>

namespace {

template <typename T> bool readAt(const QByteArray& file, quint64 offset, T* out)
{
    if (offset > quint64(file.size()) || quint64(file.size()) - offset < sizeof(T))
        return false;
    std::memcpy(out, file.constData() + offset, sizeof(T));
    return true;
}

} // namespace

QStringList ElfExports::functions(const QString& path, const QString& prefix, QString* error)
{
    QFile input(path);
    if (!input.open(QIODevice::ReadOnly)) {
        *error = input.errorString();
        return {};
    }
    const QByteArray file = input.readAll();
    Elf64_Ehdr header{};
    if (!readAt(file, 0, &header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0
        || header.e_ident[EI_CLASS] != ELFCLASS64) {
        *error = QStringLiteral("not a 64-bit ELF file");
        return {};
    }
    QStringList names;
    for (int i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr section{};
        if (!readAt(file, header.e_shoff + quint64(i) * header.e_shentsize, &section)
            || section.sh_type != SHT_DYNSYM)
            continue;
        Elf64_Shdr strings{};
        if (!readAt(
                file, header.e_shoff + quint64(section.sh_link) * header.e_shentsize, &strings)) {
            *error = QStringLiteral("no string table for the dynamic symbols");
            return {};
        }
        for (quint64 at = 0; at + sizeof(Elf64_Sym) <= section.sh_size; at += sizeof(Elf64_Sym)) {
            Elf64_Sym symbol{};
            if (!readAt(file, section.sh_offset + at, &symbol))
                break;
            const int binding = ELF64_ST_BIND(symbol.st_info);
            if (ELF64_ST_TYPE(symbol.st_info) != STT_FUNC || symbol.st_shndx == SHN_UNDEF
                || (binding != STB_GLOBAL && binding != STB_WEAK)
                || ELF64_ST_VISIBILITY(symbol.st_other) != STV_DEFAULT
                || symbol.st_name >= strings.sh_size)
                continue;
            const char* name = file.constData() + strings.sh_offset + symbol.st_name;
            const QString text
                = QString::fromLatin1(name, int(strnlen(name, strings.sh_size - symbol.st_name)));
            if (text.startsWith(prefix))
                names.append(text);
        }
    }
    names.sort();
    names.removeDuplicates();
    return names;
}
