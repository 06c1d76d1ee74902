/* Asks a print queue's printer what it is and has, and prints what the library stored:
 *
 *   update_printer QUEUE
 *
 * The queue must exist in the prefix (VANTO_PREFIX) with a driver of the library; see the
 * README's tour. Exit status 0 when the update succeeded, 1 otherwise. */
#include <vanto.h>

#include <stdio.h>
#include <string.h>
#include <uchar.h>

/* UTF-16 from ASCII, which is all a queue name in this example needs. */
static void Widen(const char* text, char16_t* out, size_t count) {
    size_t i = 0;
    for (; text[i] != 0 && i + 1 < count; ++i) out[i] = (char16_t)(unsigned char)text[i];
    out[i] = 0;
}

static void PrintNarrow(const char16_t* text) {
    for (; *text != 0; ++text) putchar(*text < 0x80 ? (int)*text : '?');
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s QUEUE\n", argv[0]);
        return 2;
    }
    char16_t queue[256];
    Widen(argv[1], queue, sizeof queue / sizeof queue[0]);

    HVANTO h = Initialize(queue, VANTO_FLAG_PRINTERINFO);
    if (h == NULL) {
        fprintf(stderr, "no instance for queue '%s'\n", argv[1]);
        return 1;
    }
    const int32_t status = UpdatePrinterInfo(h, 0xFFFFFFFFull, 0);
    printf("update: status %d\n", (int)status);

    VANTO_PRINTER_INFO info;
    memset(&info, 0, sizeof info);
    info.dwSize = VANTO_PRINTER_INFO_SIZE;
    info.ullElementMask = ~0ull;
    uint32_t size = sizeof info;
    if (GetStructValue(h, VANTO_STID_PRINTER_INFO, 0, &info, &size) == 1) {
        printf("model: ");
        PrintNarrow(info.szModelName);
        printf("\nmodel bits: 0x%08x\nlanguages: 0x%08x\noption units: 0x%08x\nmemory: %u MB\ntrays: %d\n",
               info.dwModelInfoBits, info.dwSupportPDLBits, info.dwOptionUnitBits, info.dwInstalledMemory,
               (int)info.nCassetteNum);
        for (int i = 0; i < info.nCassetteNum && i < VANTO_PRINTER_INFO_CASSETTES; ++i)
            printf("  tray %d: paper size %u, type %u, capacity %u\n", i, info.stCassette[i].wPaperSizeID,
                   info.stCassette[i].wPaperTypeID, info.stCassette[i].wMaxCapacity);
    }
    Release(h);
    return status == 0 ? 0 : 1;
}
