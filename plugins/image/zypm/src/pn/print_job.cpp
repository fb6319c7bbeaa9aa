// Print jobs: pages and bands painted into the printer's cairo context.
#include <cairo.h>

#include <new>
#include <string>

#include "../internal.h"

struct ZypmPrintJobObject {
    enum class State { Made, Started, InPage, InBand };
    State state = State::Made;
    cairo_t* printer = nullptr;
    cairo_t* band = nullptr;  // the context clipped for the open band
};

namespace {

using State = ZypmPrintJobObject::State;

int OutOfOrder(const char* call) { return zypm::Fail(ZYPM_E_STATE, std::string(call) + " out of order"); }

// Print: adjustments and rotation, the best filter, never the screen's grey mode.
constexpr uint32_t kPrintFlags =
    ZYPM_PAINT_ADJUST | ZYPM_PAINT_ROTATE | ZYPM_PAINT_SMOOTH | ZYPM_PAINT_BEST | ZYPM_PAINT_NO_GREY;

}  // namespace

extern "C" {

int ZypmPrintJobNew(const char*, ZypmPrintJob* job) {
    if (!job) return zypm::Fail(ZYPM_E_ARGUMENT, "no place for the job");
    *job = nullptr;
    auto* made = new (std::nothrow) ZypmPrintJobObject;
    if (!made) return zypm::Fail(ZYPM_E_NO_MEMORY, "no memory for the print job");
    *job = made;
    return ZYPM_OK;
}

int ZypmPrintJobStart(ZypmPrintJob job, uint32_t mode, cairo_t* printer) {
    if (!job || !printer) return zypm::Fail(ZYPM_E_ARGUMENT, "no job or no printer context");
    if (mode != ZYPM_PRINT_STANDARD) return zypm::Fail(ZYPM_E_ARGUMENT, "unknown print mode");
    if (job->state != State::Made) return OutOfOrder("ZypmPrintJobStart");
    job->printer = printer;
    job->state = State::Started;
    return ZYPM_OK;
}

int ZypmPrintJobPageStart(ZypmPrintJob job, int32_t reserved) {
    if (!job || reserved != 0) return zypm::Fail(ZYPM_E_ARGUMENT, "no job or a reserved value");
    if (job->state != State::Started) return OutOfOrder("ZypmPrintJobPageStart");
    job->state = State::InPage;
    return ZYPM_OK;
}

int ZypmPrintJobBandStart(ZypmPrintJob job, ZypmBand* band) {
    if (!job || !band) return zypm::Fail(ZYPM_E_ARGUMENT, "no job or no band");
    if (job->state != State::InPage) return OutOfOrder("ZypmPrintJobBandStart");
    cairo_t* context = band->context ? band->context : job->printer;
    if (cairo_status(context) != CAIRO_STATUS_SUCCESS)
        return zypm::Fail(ZYPM_E_PAINT, "the printer's cairo context failed");
    const ZypmRect& r = band->rect;
    band->context = context;
    band->paintFlags = kPrintFlags;
    band->paint = r.right > r.left && r.bottom > r.top;
    job->band = nullptr;
    if (band->paint) {
        cairo_save(context);
        cairo_rectangle(context, r.left, r.top, r.right - r.left, r.bottom - r.top);
        cairo_clip(context);
        job->band = context;
    }
    job->state = State::InBand;
    return ZYPM_OK;
}

int ZypmPrintJobBandEnd(ZypmPrintJob job) {
    if (!job) return zypm::Fail(ZYPM_E_ARGUMENT, "no job");
    if (job->state != State::InBand) return OutOfOrder("ZypmPrintJobBandEnd");
    if (job->band) cairo_restore(job->band);
    job->band = nullptr;
    job->state = State::InPage;
    return ZYPM_OK;
}

int ZypmPrintJobPageEnd(ZypmPrintJob job) {
    if (!job) return zypm::Fail(ZYPM_E_ARGUMENT, "no job");
    if (job->state != State::InPage) return OutOfOrder("ZypmPrintJobPageEnd");
    job->state = State::Started;
    return ZYPM_OK;
}

int ZypmPrintJobEnd(ZypmPrintJob job, int32_t reserved) {
    if (!job) return zypm::Fail(ZYPM_E_ARGUMENT, "no job");
    bool inOrder = job->state == State::Started && reserved == 0;
    if (job->band) cairo_restore(job->band);
    delete job;
    return inOrder ? ZYPM_OK : OutOfOrder("ZypmPrintJobEnd");
}

int ZypmPrintJobFree(ZypmPrintJob job) {
    if (!job) return zypm::Fail(ZYPM_E_ARGUMENT, "no job");
    if (job->band) cairo_restore(job->band);
    delete job;
    return ZYPM_OK;
}

}  // extern "C"
