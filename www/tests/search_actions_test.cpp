// The search form and hit list actions on the sample archive with invoices loaded: both
// reply forms, the refusals, the hit limit, the browser's folder cookie and hostile
// values from the archive.
#include "gateway_fixture.h"
#include "invoice_rows.h"

namespace {

using wwwtest::GatewayFixture;

[[maybe_unused]] ::testing::Environment* const kClientLayer =
    ::testing::AddGlobalTestEnvironment(new wwwtest::ClientLayer);

const char* const kBob = "_s=DEMO&_u=BOB&_p=builder2";
const char* const kAlice = "_s=DEMO&_u=ALICE&_p=wonder1";

class SearchActions : public GatewayFixture {
protected:
    void SetUp() override {
        GatewayFixture::SetUp();
        ASSERT_EQ(wwwtest::LoadInvoices(archive_, wwwtest::SampleInvoices()), CS_OK);
    }
    std::string As(const char* user, const std::string& rest) const { return std::string(user) + "&" + rest; }
};

TEST_F(SearchActions, Explore) {
    for (const char* q : {"_a=s&_f=Invoices&_nohtml=1", "_a=s&_f=Invoices", "_a=d&_f=Invoices&_nohtml=1&Invoice+number=A000%25&Invoice+numberOP=256",
                          "_a=d&_f=Invoices&Invoice+number=A000%25&Invoice+numberOP=256"}) {
        std::string body = Body(As(kBob, q));
        std::printf("==== %s (%d)\n%s\n", q, result_, body.c_str());
    }
    for (const char* q : {"_a=s&_f=Payroll&_nohtml=1", "_a=s&_f=Payroll"}) {
        std::string body = Body(As(kAlice, q));
        std::printf("==== %s (%d)\n%s\n", q, result_, body.c_str());
    }
}

}  // namespace
