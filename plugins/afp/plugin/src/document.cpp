// Documents of an instance: a downloaded reply split into the engine's files and lists,
// closing, the preferences applied after each open, and segment fetching.
#include <filesystem>

#include "install_dir.h"
#include "viewer.h"

namespace afpview {

namespace {

afp::BrowserRequests RequestsFor(WoxPiInstance& instance) {
    afp::BrowserRequests requests;
    requests.getUrl = [&instance](const std::string& url) {
        if (BrowserGetUrlNotify(instance, url) == NPERR_INCOMPATIBLE_VERSION_ERROR)
            BrowserGetUrl(instance, url);
    };
    requests.postUrl = [&instance](const std::string& url, const std::string& body) {
        if (BrowserPostUrlNotify(instance, url, body) == NPERR_INCOMPATIBLE_VERSION_ERROR)
            BrowserPostUrl(instance, url, body);
    };
    return requests;
}

afp::SegmentHost SegmentHostFor(WoxPiInstance& instance) {
    afp::SegmentHost host;
    host.browser = RequestsFor(instance);
    host.confirmSegment = [&instance] { return ConfirmSegment(instance); };
    host.printCollected = [&instance](const std::string& path) { PrintCollected(instance, path); };
    return host;
}

int32_t Mapper() {
    const PluginState& plugin = Plugin();
    return plugin.viewServer != 0 ? plugin.api.VSGetSMapperHandle(plugin.viewServer) : 0;
}

afp::EngineSink SinkFor(WoxPiInstance& instance) {
    const EngineApi& api = Plugin().api;
    afp::EngineSink sink;
    sink.addPageName = [&instance, &api](const std::string& name) {
        if (instance.stringList == 0) instance.stringList = api.GetSList(8, Mapper());
        if (instance.stringList != 0) api.LISTAddEntry(instance.stringList, name.c_str(), KnvwListData{}, 8);
    };
    sink.addIndexEntry = [&instance, &api](const std::string& group, const std::string& value, uint32_t kind,
                                           uint32_t page) {
        if (instance.pageIndex == 0) instance.pageIndex = api.GetIndex(Mapper());
        if (instance.pageIndex != 0)
            api.INDEXSetDocPgTLE(instance.pageIndex, group.c_str(), value.c_str(), static_cast<int32_t>(kind),
                                 0, static_cast<int32_t>(page), value.c_str());
    };
    sink.setLineDataParms = [&api](uint32_t lines, int32_t charsPerInch, int32_t linesPerInch) {
        api.VSSetLineDataParms(charsPerInch, linesPerInch, static_cast<int32_t>(lines));
    };
    sink.showMessage = [&instance](int id, const std::string& text) {
        ShowResourceMessage(instance.browserWindow, static_cast<uint32_t>(id), text);
    };
    return sink;
}

void RemoveFile(const std::string& path) {
    if (path.empty()) return;
    std::error_code error;
    std::filesystem::remove(path, error);
}

}  // namespace

void AbandonCollection(WoxPiInstance& instance) {
    afp::EndCollection(instance.split);
    instance.stopRequested = false;
    ShowStop(instance, false);
}

const ProfileStore& Profile() {
    // Looked up again each time: the install directory and the user's directory can change
    // between instances (and do in tests).
    static ProfileStore current;
    const std::string defaults = Plugin().installDir.empty() ? "" : Plugin().installDir + kProfileName;
    const std::string user = UserProfilePath();
    if (current.DefaultsPath() != defaults || current.UserPath() != user)
        current = ProfileStore(defaults, user);
    return current;
}

void ShowResourceMessage(WinHandle owner, uint32_t textId, const std::string& suffix) {
    Win_MessageBox(owner, ResourceText(textId) + suffix, ResourceText(afp::kMsgCaption), MB_OK);
}

int WoxPiCloseDocument(WoxPiInstance* instance) {
    const EngineApi& api = Plugin().api;
    if (instance->document != 0) {
        // The next document of this instance opens with the same zoom and rotation.
        instance->zoomToApply = api.VSGetZoom(instance->document);
        instance->rotationToApply = api.VSGetRotation(instance->document);
        api.VSDocEnd(Plugin().viewServer, &instance->document);
    }
    instance->document = 0;
    RemoveFile(instance->split.documentFile);
    instance->split.documentFile.clear();
    return 1;
}

void ReleaseDocumentData(WoxPiInstance& instance) {
    const EngineApi& api = Plugin().api;
    afp::SplitInstance& split = instance.split;
    split.lineDataDescription.clear();
    RemoveFile(split.resourceFile);
    split.resourceFile.clear();
    if (instance.stringList != 0 && api.DeleteSList != nullptr) api.DeleteSList(instance.stringList);
    if (instance.pageIndex != 0 && api.DeleteIndex != nullptr) api.DeleteIndex(instance.pageIndex);
    instance.stringList = 0;
    instance.pageIndex = 0;
    if (split.segments.Exists()) {
        if (std::optional<std::string> first = split.segments.Get(0); first && first->ends_with(".ZE0"))
            RemoveFile(*first);
        split.segments.Free();
    }
    RemoveFile(split.printFile);
    split.printFile.clear();
}

void SetNavigationInfo(WoxPiInstance& instance) {
    const afp::SplitInstance& s = instance.split;
    Plugin().api.VSSetNSPIInfo(instance.document, &instance, instance.stringList, instance.pageIndex,
                               static_cast<int32_t>(s.totalPages), s.currentSegment,
                               static_cast<int32_t>(s.segmentCount), static_cast<int32_t>(s.pagesPerSegment),
                               static_cast<int32_t>(s.pagesInLastSegment), WoxPiHitFind, WoxPiChangePage);
}

void WoxPiApplyImageView(WoxPiInstance* instance) {
    const ProfileStore& profile = Profile();
    const std::vector<ImageViewCall> calls = ImageViewCalls(
        profile.Read("Settings", "ImageView", "NORMAL"), profile.Read("Settings", "ImageColor", "DEFAULT"),
        instance->split.attributes[0], instance->split.attributes[1], instance->imageViewFlag);
    for (const ImageViewCall& call : calls)
        Plugin().api.VSSetImageView(instance->document, call.first, call.second);
    instance->firstDocument = true;
}

int WoxPiToggleImageView(WoxPiInstance* instance) {
    const ProfileStore& profile = Profile();
    const ImageViewToggle toggle =
        ToggleImageView(instance->imageViewFlag, profile.Read("Settings", "ImageColor", "DEFAULT"),
                        instance->split.attributes[1]);
    instance->imageViewFlag = toggle.flag;
    for (const ImageViewCall& call : toggle.calls)
        Plugin().api.VSSetImageView(instance->document, call.first, call.second);
    profile.Write("Settings", "ImageView", toggle.written.c_str());
    return 1;
}

int WoxPiApplyPreferences(WoxPiInstance* instance) {
    const EngineApi& api = Plugin().api;
    const ProfileStore& profile = Profile();
    const int32_t doc = instance->document;
    api.VSSetAutosize(doc, 1);
    api.VSSetTextFidelity(doc, 4);
    if (TextFidelity(profile.Read("Settings", "240Fidelity", "TRUE")) == 2) api.VSSetTextFidelity(doc, 2);
    if (instance->imageViewFlag == -1) {
        const std::string view = profile.Read("Preferences", "DefaultView", "");
        if (!view.empty()) api.VSGetView(doc, view.c_str());
    }
    if (instance->imageViewFlag == 0) {
        api.VSSetImageView(doc, KNVW_VIEW_DRAFT, 0);
    } else {
        WoxPiApplyImageView(instance);
    }
    if (instance->split.pageWidth != 0 && instance->split.pageHeight != 0) {
        api.VSSetAutosize(doc, 0);
        api.VSSetPageSize(doc, static_cast<int16_t>(instance->split.pageWidth),
                          static_cast<int16_t>(instance->split.pageHeight));
    }
    if (instance->rotationToApply != -1)
        api.VSSetRotation(doc, static_cast<int16_t>(instance->rotationToApply));
    if (instance->zoomToApply != -1) api.VSSetZoom(doc, instance->zoomToApply);
    if (instance->stringList != 0 || instance->split.totalPages != 0) SetNavigationInfo(*instance);
    if (profile.Read("MISC", "LOGO", "OKNEEDED") != "TRUE") {
        profile.Write("MISC", "LOGO", "TRUE");
        ShowAbout(*instance, instance->browserWindow);
    }
    return 1;
}

void ReceiveFile(WoxPiInstance& instance, const char* path) {
    afp::SplitInstance& split = instance.split;
    if (instance.document != 0 && !split.fetching) WoxPiCloseDocument(&instance);
    const bool answersRequest = split.requestPending;
    const int32_t requested = answersRequest ? split.currentSegment : -1;
    const afp::EngineSink sink = SinkFor(instance);
    const int done = afp::Split(split, path, sink);
    // A reply that split is kept, so the segment can be shown again without asking the
    // gateway; a bad one is not, so the next request asks again.
    if (done && requested >= 0 && split.segments.Exists())
        split.segments.Set(static_cast<size_t>(requested), path);
    if (done && !answersRequest && !split.fetching) {
        // A new document: its container says how to show it.
        instance.rotationToApply = split.displayMode;
        if (split.displayNumber != -1) instance.zoomToApply = split.displayNumber;
    }
    if (split.fetching) {
        // A segment that did not split would leave a gap: the collection would print the
        // wrong pages.
        if (instance.stopRequested || !done) {
            AbandonCollection(instance);
            return;
        }
        const afp::OpenResult next = afp::OpenSegment(split, split.fetchIndex + 1, SegmentHostFor(instance));
        if (next != afp::OpenResult::kRequested && next != afp::OpenResult::kPending)
            ShowStop(instance, false);
        return;
    }
    if (done) Repaint(instance);
}

void RequestPageSegment(WoxPiInstance& instance, int32_t pageIndex) {
    if (pageIndex < 0) return;
    afp::RequestSegment(instance.split, static_cast<uint64_t>(pageIndex), RequestsFor(instance));
}

void StartCollection(WoxPiInstance& instance, int32_t firstSegment, int32_t lastSegment) {
    afp::SplitInstance& split = instance.split;
    split.lastSegmentToFetch = lastSegment;
    instance.stopRequested = false;
    ShowStop(instance, true);
    const afp::OpenResult result = afp::OpenSegment(split, firstSegment, SegmentHostFor(instance));
    if (result != afp::OpenResult::kRequested && result != afp::OpenResult::kPending)
        ShowStop(instance, false);
}

}  // namespace afpview
