// SPDX-License-Identifier: MIT
// The built-in catalogue and its replacement through DCSIM_CATALOGUE.
#include "environment.h"
#include "sim_test_support.h"

#include <map>
#include <set>
#include <tuple>

namespace dcsim_test {
namespace {

struct Listed {
    std::string vendor;
    std::string product;
    unsigned int model;
    unsigned int transport;
};

// The transport number (up to release 0.6) or set of flags (from 0.7 on) of a descriptor.
unsigned int transportOf(dc_descriptor_t *descriptor) {
#if DC_VERSION_CHECK(0, 7, 0)
    return dc_descriptor_get_transports(descriptor);
#else
    return static_cast<unsigned int>(dc_descriptor_get_transport(descriptor));
#endif
}

// Lists the current catalogue; status is what ended the listing.
std::vector<Listed> listDescriptors(dc_status_t &status) {
    dc_iterator_t *raw = nullptr;
    status = dc_descriptor_iterator(&raw);
    std::vector<Listed> listed;
    if (status != DC_STATUS_SUCCESS) {
        EXPECT_EQ(raw, nullptr);
        return listed;
    }
    const Iterator iterator(raw);
    dc_descriptor_t *descriptor = nullptr;
    while ((status = dc_iterator_next(iterator.get(), &descriptor)) == DC_STATUS_SUCCESS) {
        const Descriptor owned(descriptor);
        listed.push_back({dc_descriptor_get_vendor(descriptor),
                          dc_descriptor_get_product(descriptor),
                          dc_descriptor_get_model(descriptor), transportOf(descriptor)});
    }
    EXPECT_EQ(descriptor, nullptr);
    return listed;
}

class Catalogue : public SimulatorTest {
  protected:
    void useCatalogue(const std::string &text) {
        environment::set("DCSIM_CATALOGUE", writeFile("catalogue.json", text));
    }
};

TEST_F(Catalogue, TheBuiltInCatalogueCoversEveryTransportAndTwoWordVendors) {
    dc_status_t status;
    const auto listed = listDescriptors(status);
    EXPECT_EQ(status, DC_STATUS_DONE);
    EXPECT_GE(listed.size(), 30u);
    std::set<unsigned int> transports;
    std::set<std::string> vendors;
    std::set<std::string> names;
    for (const auto &descriptor : listed) {
        transports.insert(descriptor.transport);
        vendors.insert(descriptor.vendor);
        EXPECT_TRUE(names.insert(descriptor.vendor + " " + descriptor.product).second)
            << "listed twice: " << descriptor.vendor << " " << descriptor.product;
    }
#if DC_VERSION_CHECK(0, 7, 0)
    unsigned int flags = 0;
    for (unsigned int set : transports) {
        flags |= set;
    }
    EXPECT_EQ(flags, 63u) << "every transport flag from serial to BLE";
    EXPECT_EQ(transports.count(DC_TRANSPORT_NONE), 1u);
    EXPECT_EQ(transports.count(DC_TRANSPORT_BLE), 1u) << "a model that has only BLE";
#else
    EXPECT_EQ(transports, std::set<unsigned int>({0, 1, 2, 3, 4, 5}));
#endif
    for (const char *vendor : {"Heinrichs Weikamp", "Atomic Aquatics", "Suunto", "Shearwater"}) {
        EXPECT_EQ(vendors.count(vendor), 1u) << vendor;
    }
    for (const char *name :
         {"Suunto Vyper", "Suunto EON Steel", "Uwatec Smart Pro", "Scubapro G2", "Mares Puck Pro",
          "Heinrichs Weikamp OSTC 3", "Shearwater Perdix", "Oceanic Atom 2.0", "Reefnet Sensus",
          "Citizen Hyper Aqualand", "Atomic Aquatics Cobalt"}) {
        EXPECT_EQ(names.count(name), 1u) << name;
    }
}

TEST_F(Catalogue, BuiltInModelsReportTheTransportsOfTheirGeneration) {
    dc_status_t status;
    std::map<std::string, unsigned int> transports;
    for (const auto &descriptor : listDescriptors(status)) {
        transports[descriptor.vendor + " " + descriptor.product] = descriptor.transport;
    }
#if DC_VERSION_CHECK(0, 7, 0)
    EXPECT_EQ(transports.at("Shearwater Perdix"),
              DC_TRANSPORT_SERIAL | DC_TRANSPORT_BLUETOOTH | DC_TRANSPORT_BLE);
    EXPECT_EQ(transports.at("Shearwater Teric"), DC_TRANSPORT_BLE);
    EXPECT_EQ(transports.at("Shearwater Predator"), DC_TRANSPORT_BLUETOOTH);
    EXPECT_EQ(transports.at("Suunto EON Steel"), DC_TRANSPORT_USBHID | DC_TRANSPORT_BLE);
    EXPECT_EQ(transports.at("Uwatec Smart Pro"), DC_TRANSPORT_IRDA);
    EXPECT_EQ(transports.at("Shearwater Perdix 2"), DC_TRANSPORT_BLE);
    EXPECT_EQ(transports.at("Heinrichs Weikamp OSTC 4"), DC_TRANSPORT_SERIAL | DC_TRANSPORT_BLE);
    EXPECT_EQ(transports.count("Apeks DSX"), DC_VERSION_CHECK(0, 9, 0) ? 1u : 0u)
        << "the Pelagic i330R family came with 0.9";
#else
    EXPECT_EQ(transports.at("Shearwater Perdix"), DC_TRANSPORT_SERIAL) << "the first of its list";
    EXPECT_EQ(transports.at("Shearwater Predator"), DC_TRANSPORT_BLUETOOTH);
    EXPECT_EQ(transports.count("Shearwater Teric"), 0u) << "0.6 knew no BLE";
    EXPECT_EQ(transports.at("Suunto EON Steel"), DC_TRANSPORT_USBHID);
    EXPECT_EQ(transports.at("Uwatec Smart Pro"), DC_TRANSPORT_IRDA);
#endif
    EXPECT_EQ(transports.at("Uemis Zurich"), DC_TRANSPORT_NONE);
    EXPECT_EQ(transports.at("Atomic Aquatics Cobalt"), DC_TRANSPORT_USB);
}

TEST_F(Catalogue, TransportNamesAndListsMeanTheSameModelsInEitherGeneration) {
    useCatalogue(R"([{"vendor": "A", "product": "1", "transport": "usbhid"},
                     {"vendor": "A", "product": "2", "transport": ["usbhid", "ble"]},
                     {"vendor": "A", "product": "3", "transport": ["ble"]},
                     {"vendor": "A", "product": "4", "transport": ["ble", "irda", "serial"]},
                     {"vendor": "A", "product": "5", "transport": []},
                     {"vendor": "A", "product": "6", "transport": "none"},
                     {"vendor": "A", "product": "7", "transport": 3}])");
    dc_status_t status;
    std::vector<std::pair<std::string, unsigned int>> listed;
    for (const auto &descriptor : listDescriptors(status)) {
        listed.emplace_back(descriptor.product, descriptor.transport);
    }
    EXPECT_EQ(status, DC_STATUS_DONE);
    using Expected = std::vector<std::pair<std::string, unsigned int>>;
#if DC_VERSION_CHECK(0, 7, 0)
    EXPECT_EQ(listed,
              Expected({{"1", 4}, {"2", 36}, {"3", 32}, {"4", 41}, {"5", 0}, {"6", 0}, {"7", 3}}));
#else
    EXPECT_EQ(listed, Expected({{"1", 3}, {"2", 3}, {"4", 4}, {"5", 0}, {"6", 0}, {"7", 3}}))
        << "a BLE-only model is not listed, and BLE is passed over in a list";
#endif
}

TEST_F(Catalogue, EachDescriptorIsItsOwnHandleOwningItsText) {
    dc_iterator_t *raw = nullptr;
    ASSERT_EQ(dc_descriptor_iterator(&raw), DC_STATUS_SUCCESS);
    const Iterator iterator(raw);
    dc_descriptor_t *first = nullptr;
    dc_descriptor_t *second = nullptr;
    ASSERT_EQ(dc_iterator_next(raw, &first), DC_STATUS_SUCCESS);
    ASSERT_EQ(dc_iterator_next(raw, &second), DC_STATUS_SUCCESS);
    const std::string vendor = dc_descriptor_get_vendor(second);
    dc_descriptor_free(first);
    EXPECT_EQ(dc_descriptor_get_vendor(second), vendor);
    EXPECT_EQ(dc_descriptor_get_vendor(first), nullptr) << "a released descriptor is refused";
    dc_descriptor_free(second);
    dc_descriptor_free(nullptr);
}

TEST_F(Catalogue, AnOverrideListReplacesTheCatalogueAndPassesTransportsThrough) {
    useCatalogue(R"([{"vendor": "Acme", "product": "Deep", "transport": 99, "model": 7},
                     {"vendor": "Acme", "product": "Deep", "transport": 1},
                     {"vendor": "Heinrichs Weikamp", "product": "OSTC 3", "transport": 5}])");
    dc_status_t status;
    const auto listed = listDescriptors(status);
    EXPECT_EQ(status, DC_STATUS_DONE);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].transport, 99u);
    EXPECT_EQ(listed[0].model, 7u);
    EXPECT_EQ(listed[1].model, 0u) << "the model is optional";
    EXPECT_EQ(listed[1].product, "Deep");

    useCatalogue("[]");
    EXPECT_TRUE(listDescriptors(status).empty()) << "the file is read at each iterator";
    EXPECT_EQ(status, DC_STATUS_DONE);
}

TEST_F(Catalogue, OverrideFaultsFailTheIteratorOrTheNextDescriptor) {
    useCatalogue(R"({"descriptors": [{"vendor": "A", "product": "B", "transport": 1}],
                     "faults": {"iterator": -3}})");
    dc_status_t status;
    listDescriptors(status);
    EXPECT_EQ(status, DC_STATUS_NOMEMORY);

    useCatalogue(R"({"descriptors": [{"vendor": "A", "product": "B", "transport": 1},
                                     {"vendor": "A", "product": "C", "transport": 1}],
                     "faults": {"next": -6, "next_after": 1}})");
    EXPECT_EQ(listDescriptors(status).size(), 1u);
    EXPECT_EQ(status, DC_STATUS_IO);

    useCatalogue(R"({"descriptors": [{"vendor": "A", "product": "B", "transport": 1}],
                     "faults": {"next": -8}})");
    EXPECT_TRUE(listDescriptors(status).empty()) << "next_after defaults to 0";
    EXPECT_EQ(status, DC_STATUS_PROTOCOL);
}

TEST_F(Catalogue, AnUnreadableOrMalformedFileFailsTheIteratorWithIo) {
    for (const char *text : {"{not json", R"([{"vendor": "A", "transport": 1}])",
                             R"([{"vendor": "A", "product": "B", "transport": "usb3"}])",
                             R"([{"vendor": "A", "product": "B", "transport": ["usb", 1]}])",
                             R"([{"vendor": "A", "product": "B", "transport": ["Serial"]}])",
                             R"({"descriptors": [], "faults": {"iterator": "yes"}})"}) {
        useCatalogue(text);
        dc_status_t status;
        listDescriptors(status);
        EXPECT_EQ(status, DC_STATUS_IO) << text;
    }
    environment::set("DCSIM_CATALOGUE", path("missing.json"));
    dc_status_t status;
    listDescriptors(status);
    EXPECT_EQ(status, DC_STATUS_IO);
}

TEST_F(Catalogue, IteratorCallsCheckTheirArguments) {
    dc_descriptor_t *descriptor = nullptr;
    EXPECT_EQ(dc_iterator_next(nullptr, &descriptor), DC_STATUS_UNSUPPORTED);
    EXPECT_EQ(dc_descriptor_iterator(nullptr), DC_STATUS_INVALIDARGS);
    dc_iterator_t *raw = nullptr;
    ASSERT_EQ(dc_descriptor_iterator(&raw), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iterator_next(raw, nullptr), DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_iterator_free(raw), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iterator_free(raw), DC_STATUS_INVALIDARGS) << "released twice";
    EXPECT_EQ(dc_iterator_free(nullptr), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_descriptor_get_product(nullptr), nullptr);
    EXPECT_EQ(transportOf(nullptr), static_cast<unsigned int>(DC_TRANSPORT_NONE));
}

#if DC_VERSION_CHECK(0, 9, 0)
TEST_F(Catalogue, TheIteratorTakesAnOptionalContext) {
    dc_iterator_t *raw = nullptr;
    ASSERT_EQ(dc_descriptor_iterator_new(&raw, context_.get()), DC_STATUS_SUCCESS);
    Iterator iterator(raw);
    EXPECT_EQ(dc_descriptor_iterator_new(&raw, reinterpret_cast<dc_context_t *>(descriptor_.get())),
              DC_STATUS_INVALIDARGS)
        << "a descriptor is no context";
    EXPECT_EQ(raw, nullptr);
    dcsim_trace_start();
    ASSERT_EQ(dc_descriptor_iterator(&raw), DC_STATUS_SUCCESS) << "the old name passes no context";
    iterator.reset(raw);
    dc_descriptor_get_transports(descriptor_.get());
    dcsim_trace_stop();
    EXPECT_EQ(traceText(),
              "dc_descriptor_iterator_new -> 0\ndc_iterator_free -> 0\n"
              "dc_descriptor_get_transports\n");
}
#endif

#if DC_VERSION_CHECK(0, 9, 0)
// The built-in models follow their family's naming; an override entry may list its own prefixes.
TEST_F(Catalogue, TheFilterTellsWhichModelAnAdvertisedNameBelongsTo) {
    const auto filter = [&](const char *vendor, const char *product, dc_transport_t transport,
                            const char *name) {
        const Descriptor descriptor = findDescriptor(vendor, product);
        return dc_descriptor_filter(descriptor.get(), transport, name) != 0;
    };
    const std::vector<std::tuple<const char *, const char *, const char *, bool>> names = {
        {"Shearwater", "Perdix 2", "Perdix 2 1A2B3C4D", true},
        {"Shearwater", "Perdix 2", "Perdix 2", true},
        {"Shearwater", "Perdix", "Perdix 2 1A2B3C4D", false},
        {"Shearwater", "Perdix", "Perdix 1A2B3C4D", true},
        {"Shearwater", "Teric", "Teric of Anna", false},
        {"Aqualung", "i330R", "i330R 0012345", true},
        {"Aqualung", "i330R", "i330R", false},
        {"Apeks", "DSX", "DSX12345", true},
        {"Heinrichs Weikamp", "OSTC 4", "OSTC4-51234", true},
        {"Mares", "Sirius", "Sirius 2", true},
        {"Mares", "Sirius", "sirius", false},
        {"Suunto", "D9", "D9", false},
    };
    for (const auto &[vendor, product, name, belongs] : names) {
        EXPECT_EQ(filter(vendor, product, DC_TRANSPORT_BLE, name), belongs)
            << product << ": " << name;
    }
    EXPECT_FALSE(filter("Shearwater", "Teric", DC_TRANSPORT_BLE, nullptr));
    EXPECT_TRUE(filter("Suunto", "D9", DC_TRANSPORT_SERIAL, nullptr));
    EXPECT_FALSE(filter("Shearwater", "Teric", DC_TRANSPORT_SERIAL, nullptr));

    useCatalogue(R"([{"vendor": "Shearwater", "product": "Perdix", "transport": ["serial", "ble"],
                      "ble_names": ["Perdix 2", "PX"]},
                     {"vendor": "Shearwater", "product": "Teric", "transport": "ble"}])");
    dcsim_trace_start();
    EXPECT_TRUE(filter("Shearwater", "Perdix", DC_TRANSPORT_BLE, "PX-7"));
    EXPECT_TRUE(filter("Shearwater", "Perdix", DC_TRANSPORT_BLE, "Perdix 2 A"));
    EXPECT_TRUE(filter("Shearwater", "Teric", DC_TRANSPORT_BLE, "Teric 0A"))
        << "without ble_names the family's rule";
    dcsim_trace_stop();
    const std::string trace = traceText();
    EXPECT_NE(trace.find("dc_descriptor_filter 32 PX-7\n"), std::string::npos) << trace;
    useCatalogue(R"([{"vendor": "A", "product": "B", "transport": "ble", "ble_names": [""]}])");
    dc_status_t status;
    listDescriptors(status);
    EXPECT_EQ(status, DC_STATUS_IO) << "an empty prefix would match every name";
}
#endif

}  // namespace
}  // namespace dcsim_test
