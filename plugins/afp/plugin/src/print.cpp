// The print command: the print dialog, then the engine prints the loaded document or a
// collection of segments fetched for the purpose.
#include "print_plan.h"
#include "viewer.h"

namespace afpview {

namespace {

void PrintWith(WoxPiInstance& instance, int32_t document, int32_t what, int32_t from, int32_t to) {
    const PluginState& plugin = Plugin();
    plugin.api.VSPrint(document, KNVW_PRINT_MODE, instance.printerDriver.c_str(),
                       instance.printerDevice.c_str(), instance.printerPort.c_str(),
                       plugin.haveDriverSettings ? &plugin.driverSettings : nullptr, what, from, to,
                       instance.copies, KNVW_PRINT_SCALE, instance.rotateToFit, instance.shrinkToFit);
}

}  // namespace

int WoxPiPrintDocument(WoxPiInstance* instance) {
    afp::SplitInstance& split = instance->split;
    if (split.fetching || split.requestPending) return 0;
    if (ShowPrintDialog(*instance) != 1) return 1;
    PrintChoice choice;
    choice.range = instance->printRange;
    choice.first = instance->firstPage;
    choice.last = instance->lastPage;
    choice.segmentCount = split.segmentCount;
    choice.pagesPerSegment = split.pagesPerSegment;
    choice.currentSegment = split.currentSegment;
    const PrintPlan plan = PlanPrint(choice);
    if (!plan.collect) {
        PrintWith(*instance, instance->document, plan.what, plan.from, plan.to);
        return 1;
    }
    instance->collectedWhat = plan.what;
    instance->collectedFrom = plan.from;
    instance->collectedTo = plan.to;
    StartCollection(*instance, plan.firstSegment, plan.lastSegment);
    return 1;
}

void PrintCollected(WoxPiInstance& instance, const std::string& path) {
    PluginState& plugin = Plugin();
    int32_t document = 0;
    {
        std::lock_guard lock(plugin.textLock);
        document = plugin.api.VSDocStart(plugin.viewServer, path.c_str(), instance.formdef.c_str(),
                                         instance.split.resourceFile.c_str(), instance.view);
    }
    ShowStop(instance, false);
    if (document == 0) return;
    PrintWith(instance, document, instance.collectedWhat, instance.collectedFrom, instance.collectedTo);
    plugin.api.VSDocEnd(plugin.viewServer, &document);
}

}  // namespace afpview
