// NTLM through GSSAPI: the client acquires the default credentials of the NTLM mechanism
// (gss-ntlmssp reads them from NTLM_USER_FILE), the server checks the peer against the
// same kind of file.
#include "gss_library.h"
#include "ntlm_backend.h"

namespace qel::ntlm::detail {
namespace {

// The service name the client names as its target; NTLM does not check it.
constexpr char kTargetName[] = "AuthSamp";

class GssBackend final : public Backend {
public:
    explicit GssBackend(const GssLibrary& lib) : lib_(lib) {}
    ~GssBackend() override {
        OM_uint32 minor = 0;
        if (context_ != GSS_C_NO_CONTEXT) lib_.deleteSecContext(&minor, &context_, GSS_C_NO_BUFFER);
        if (credentials_ != GSS_C_NO_CREDENTIAL) lib_.releaseCred(&minor, &credentials_);
        if (target_ != GSS_C_NO_NAME) lib_.releaseName(&minor, &target_);
    }

    int Step(bool server, std::span<const unsigned char> peer, std::vector<unsigned char>* out,
             bool* done) override {
        if (credentials_ == GSS_C_NO_CREDENTIAL && !Acquire(server)) return 1;
        gss_buffer_desc input{peer.size(), const_cast<unsigned char*>(peer.data())};
        gss_buffer_desc output{0, nullptr};
        OM_uint32 minor = 0;
        OM_uint32 major;
        gss_name_t source = GSS_C_NO_NAME;
        if (server) {
            major = lib_.acceptSecContext(&minor, &context_, credentials_, &input, GSS_C_NO_CHANNEL_BINDINGS,
                                          &source, nullptr, &output, nullptr, nullptr, nullptr);
        } else {
            major =
                lib_.initSecContext(&minor, credentials_, &context_, target_, NtlmMechanism(), 0, 0,
                                    GSS_C_NO_CHANNEL_BINDINGS, &input, nullptr, &output, nullptr, nullptr);
        }
        if (output.value) {
            const auto* bytes = static_cast<const unsigned char*>(output.value);
            out->assign(bytes, bytes + output.length);
            lib_.releaseBuffer(&minor, &output);
        }
        if (source != GSS_C_NO_NAME) {
            if (!GSS_ERROR(major)) KeepPeerName(source);
            lib_.releaseName(&minor, &source);
        }
        if (GSS_ERROR(major)) return 1;
        *done = (major & GSS_S_CONTINUE_NEEDED) == 0;
        return 0;
    }

    std::string PeerName() const override { return peerName_; }

private:
    bool Acquire(bool server) {
        OM_uint32 minor = 0;
        gss_OID_set_desc mechs{1, NtlmMechanism()};
        if (!server) {
            // The terminator goes with the name: gss-ntlmssp copies it with strndup.
            gss_buffer_desc name{sizeof kTargetName, const_cast<char*>(kTargetName)};
            if (GSS_ERROR(lib_.importName(&minor, &name, HostBasedServiceName(), &target_))) return false;
        }
        OM_uint32 major =
            lib_.acquireCred(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, &mechs,
                             server ? GSS_C_ACCEPT : GSS_C_INITIATE, &credentials_, nullptr, nullptr);
        return !GSS_ERROR(major);
    }

    void KeepPeerName(gss_name_t source) {
        OM_uint32 minor = 0;
        gss_buffer_desc text{0, nullptr};
        if (GSS_ERROR(lib_.displayName(&minor, source, &text, nullptr))) return;
        peerName_.assign(static_cast<const char*>(text.value), text.length);
        lib_.releaseBuffer(&minor, &text);
    }

    const GssLibrary& lib_;
    gss_cred_id_t credentials_ = GSS_C_NO_CREDENTIAL;
    gss_ctx_id_t context_ = GSS_C_NO_CONTEXT;
    gss_name_t target_ = GSS_C_NO_NAME;
    std::string peerName_;
};

}  // namespace

std::unique_ptr<Backend> MakeGssBackend() {
    const GssLibrary* lib = LoadGssLibrary();
    if (!lib) return nullptr;
    return std::make_unique<GssBackend>(*lib);
}

bool GssAvailable() { return LoadGssLibrary() != nullptr; }

}  // namespace qel::ntlm::detail
