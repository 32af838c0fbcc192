// The summary line's text, built without printf formats, so that its
// form does not depend on the runtime's printf or on the locale.
#include "app/scan_summary.h"

namespace {

void Field(std::string* text, const char* name, uint64_t value) {
    if (!text->empty()) {
        text->append(", ");
    }
    text->append(name).append(":").append(std::to_string(value));
}

}  // namespace

std::string ScanSummaryText(const ScanStats& stats, uint64_t roots, bool check_only,
                            uint64_t elapsed_ms) {
    std::string fields;
    Field(&fields, "Folders", stats.folders_entered);
    Field(&fields, "Files", stats.files_seen);
    Field(&fields, "Examined", stats.images_examined);
    Field(&fields, "Safe", stats.safe);
    Field(&fields, "Is Fix", stats.fixed);
    if (check_only) {
        Field(&fields, "Infected", stats.infected);
    }
    Field(&fields, "Error", stats.error);
    Field(&fields, "Unreadable", stats.unreadable);
    Field(&fields, "In use", stats.in_use);
    Field(&fields, "Not Scanned", stats.not_scanned);
    Field(&fields, "Unlisted", stats.folders_unlisted);
    Field(&fields, "Roots", roots);
    Field(&fields, "Seconds", elapsed_ms / 1000);
    const std::string millis = std::to_string(elapsed_ms % 1000);
    fields.append(".").append(std::string(3 - millis.size(), '0')).append(millis);
    return "Summary..." + fields;
}
