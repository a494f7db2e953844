// fontcheck.exe: tells whether Wine draws each font face the tests depend on with
// the file the set-up pinned for it.
//
//   fontcheck "Tahoma=Z:\usr\share\wine\fonts\tahoma.ttf" "Tahoma:bold=..." ...
//   fontcheck --show Tahoma System       what each face resolves to, nothing judged
//
// A face is checked by selecting it into a screen context and comparing the whole
// font file GDI hands back with the pinned file, byte for byte. The first face that
// differs ends the run with one line naming the face, what it resolved to, and the
// command that mends the prefix.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string_view>
#include <vector>

namespace {

struct Resolved {
    wchar_t face[LF_FACESIZE];
    std::vector<unsigned char> bytes;
};

// What GDI gives for a face name ("Tahoma", or "Tahoma:bold").
Resolved resolve(const wchar_t* request)
{
    wchar_t name[LF_FACESIZE] = {};
    int weight = FW_NORMAL;
    const wchar_t* colon = wcschr(request, L':');
    size_t length = colon ? size_t(colon - request) : wcslen(request);
    if (length >= LF_FACESIZE) length = LF_FACESIZE - 1;
    wmemcpy(name, request, length);
    if (colon && wcscmp(colon + 1, L"bold") == 0) weight = FW_BOLD;

    Resolved result = {};
    HDC dc = GetDC(nullptr);
    HFONT font = CreateFontW(-11, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, name);
    HGDIOBJ old = SelectObject(dc, font);
    GetTextFaceW(dc, LF_FACESIZE, result.face);
    // The full name ("Tahoma Bold", "DejaVu Sans") says more than the family.
    char metrics[1024];
    auto* outline = reinterpret_cast<OUTLINETEXTMETRICW*>(metrics);
    if (GetOutlineTextMetricsW(dc, sizeof metrics, outline)) {
        const wchar_t* full = reinterpret_cast<const wchar_t*>(metrics + size_t(outline->otmpFullName));
        swprintf(result.face, LF_FACESIZE, L"%ls", full);
    }
    DWORD size = GetFontData(dc, 0, 0, nullptr, 0);
    if (size != GDI_ERROR && size > 0) {
        result.bytes.resize(size);
        if (GetFontData(dc, 0, 0, result.bytes.data(), size) != size) result.bytes.clear();
    }
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    return result;
}

bool readWhole(const wchar_t* path, std::vector<unsigned char>& bytes)
{
    FILE* file = _wfopen(path, L"rb");
    if (!file) return false;
    unsigned char block[65536];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0) bytes.insert(bytes.end(), block, block + got);
    fclose(file);
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc > 1 && wcscmp(argv[1], L"--show") == 0) {
        for (int i = 2; i < argc; ++i) {
            Resolved r = resolve(argv[i]);
            wprintf(L"%ls -> \"%ls\", %u bytes\n", argv[i], r.face, unsigned(r.bytes.size()));
        }
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        const wchar_t* equals = wcschr(argv[i], L'=');
        if (!equals) {
            fwprintf(stderr, L"fontcheck: expected FACE=FILE, got %ls\n", argv[i]);
            return 2;
        }
        std::wstring_view face(argv[i], size_t(equals - argv[i]));
        wchar_t request[64] = {};
        swprintf(request, 64, L"%.*ls", int(face.size()), face.data());
        std::vector<unsigned char> pinned;
        if (!readWhole(equals + 1, pinned)) {
            wprintf(L"fontcheck: the pinned file for \"%ls\" is missing: %ls; run scripts/setup.sh\n", request, equals + 1);
            return 1;
        }
        Resolved got = resolve(request);
        if (got.bytes != pinned) {
            wprintf(L"fontcheck: \"%ls\" resolves to \"%ls\" (%u bytes), not the pinned %ls (%u bytes); "
                    L"run scripts/setup.sh to mend the Wine prefix\n",
                    request, got.face, unsigned(got.bytes.size()), equals + 1, unsigned(pinned.size()));
            return 1;
        }
    }
    wprintf(L"fontcheck: %d faces resolve to their pinned files\n", argc - 1);
    return 0;
}
