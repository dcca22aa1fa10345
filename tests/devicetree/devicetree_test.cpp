// The tree's own rules (root detection, linking, lazy slots, structural
// faults) over a source that answers from a table.

#include "devicetree/deviceconstants.h"
#include "devicetree/devicetree.h"
#include "devicetree/deviceutils.h"
#include "support/testsupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

using namespace devicetree;

namespace {

struct FakeNode {
    QString instanceId;
    QString parentId;
    QStringList hardwareIds;
    std::map<int, PropertyValue> extra;
};

class FakeSource : public DeviceSource {
public:
    explicit FakeSource(std::vector<FakeNode> nodes, std::uint32_t openError = 0)
        : m_nodes(std::move(nodes))
        , m_openError(openError)
    {
    }
    std::uint32_t open() override { return m_openError; }
    void close() override { ++closes; }
    std::size_t count() const override { return m_nodes.size(); }
    PropertyValue read(std::size_t node, int slot) const override
    {
        ++reads[{node, slot}];
        const FakeNode& n = m_nodes[node];
        if (slot == kSlotInstanceId)
            return n.instanceId.isEmpty() ? PropertyValue() : PropertyValue::ofText(n.instanceId);
        if (slot == kSlotParent)
            return n.parentId.isEmpty() ? PropertyValue() : PropertyValue::ofText(n.parentId);
        if (slot == kSlotHardwareIds)
            return n.hardwareIds.isEmpty() ? PropertyValue() : PropertyValue::ofList(n.hardwareIds);
        const auto found = n.extra.find(slot);
        if (found != n.extra.end())
            return found->second;
        if (slot == kSlotName)
            return PropertyValue::ofText(QStringLiteral("name of ") + n.instanceId);
        return {};
    }

    mutable std::map<std::pair<std::size_t, int>, int> reads;
    int closes = 0;

private:
    std::vector<FakeNode> m_nodes;
    std::uint32_t m_openError;
};

class DeviceTreeRules : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_logDir.isValid()); }

    std::unique_ptr<DeviceTree> treeOf(std::vector<FakeNode> nodes, FakeSource** sourceOut = nullptr)
    {
        auto source = std::make_unique<FakeSource>(std::move(nodes));
        if (sourceOut)
            *sourceOut = source.get();
        return std::make_unique<DeviceTree>(std::move(source));
    }
    QByteArray log() const { return testsupport::readFile(m_logDir.filePath("mysimple.log")); }

    QTemporaryDir m_logDir;
    testsupport::ScopedEnv m_logEnv{"KORVANE_DEVICE_LOG", m_logDir.filePath("mysimple.log").toUtf8()};
};

const QString kRoot = QStringLiteral("HTREE\\ROOT\\0");

std::vector<DeviceItem*> childrenOf(const DeviceItem* node)
{
    std::vector<DeviceItem*> children;
    for (DeviceItem* child = node->firstChild(); child; child = child->nextSibling())
        children.push_back(child);
    return children;
}

}  // namespace

TEST_F(DeviceTreeRules, EnumeratedRootIsUsedAndNamedAfterTheComputer)
{
    FakeSource* source = nullptr;
    auto tree = treeOf({{kRoot, {}, {}, {}}, {"PCI\\A", kRoot, {}, {}}}, &source);
    ASSERT_EQ(tree->build(), 0);
    ASSERT_EQ(tree->items().size(), 2u);
    ASSERT_EQ(tree->root(), tree->items()[0]);
    EXPECT_EQ(tree->root()->text(kSlotName), computerName());
    EXPECT_EQ(source->reads.count({0, kSlotName}), 0u) << "the root's name is not read from the source";
    EXPECT_TRUE(log().isEmpty());
}

TEST_F(DeviceTreeRules, MissingRootIsSynthesisedAndLogged)
{
    auto tree = treeOf({{"PCI\\A", kRoot, {}, {}}, {"PCI\\B", "pci\\a", {}, {}}});
    ASSERT_EQ(tree->build(), 0);
    ASSERT_EQ(tree->items().size(), 3u);
    DeviceItem* root = tree->items().back();
    EXPECT_EQ(tree->root(), root);
    EXPECT_EQ(root->instanceId(), kRoot);
    EXPECT_EQ(root->instanceIdHash(), kRootInstanceIdHash);
    EXPECT_TRUE(root->parentInstanceId().isEmpty());
    EXPECT_EQ(root->text(kSlotName), computerName());
    EXPECT_EQ(root->childCount(), 1);
    EXPECT_TRUE(log().contains(",no root\n"));
}

TEST_F(DeviceTreeRules, ParentIdsLinkIgnoringCaseInEnumerationOrder)
{
    auto tree = treeOf({{kRoot, {}, {}, {}},
                        {"USB\\VID_03F0&PID_1853\\X", kRoot, {}, {}},
                        {"USB\\VID_03F0&PID_1853&MI_00\\1", "usb\\vid_03f0&pid_1853\\x", {}, {}},
                        {"USB\\VID_03F0&PID_1853&MI_01\\1", "USB\\VID_03F0&PID_1853\\x", {}, {}},
                        {"SWD\\Q", "usb\\vid_03f0&pid_1853&mi_00\\1", {}, {}}});
    ASSERT_EQ(tree->build(), 0);
    const auto& items = tree->items();
    EXPECT_EQ(items[1]->parent(), items[0]);
    EXPECT_EQ(childrenOf(items[1]), (std::vector<DeviceItem*>{items[2], items[3]}));
    EXPECT_EQ(items[1]->childCount(), 2);
    EXPECT_EQ(items[4]->parent(), items[2]);
    EXPECT_EQ(items[3]->childCount(), 0);
}

TEST_F(DeviceTreeRules, SecondParentlessNodeFailsTheBuild)
{
    auto tree = treeOf({{kRoot, {}, {}, {}}, {"PCI\\A", kRoot, {}, {}}, {"PCI\\ORPHAN", {}, {}, {}}});
    try {
        tree->build();
        FAIL() << "no error raised";
    } catch (const DeviceTreeError& error) {
        EXPECT_STREQ(error.what(), "exception");
    }
    EXPECT_EQ(tree->root(), nullptr);
    EXPECT_EQ(tree->items().size(), 3u) << "the nodes stay until clear()";
    EXPECT_TRUE(log().contains(",multi root\n"));
    EXPECT_EQ(tree->clear(), 0);
    EXPECT_TRUE(tree->items().empty());
}

TEST_F(DeviceTreeRules, CycleIsCutOffAndReportedNotWalked)
{
    auto tree = treeOf({{kRoot, {}, {}, {}},
                        {"PCI\\A", kRoot, {}, {}},
                        {"LOOP\\1", "LOOP\\2", {}, {}},
                        {"LOOP\\2", "LOOP\\1", {}, {}},
                        {"LOOP\\3", "LOOP\\2", {}, {}}});
    ASSERT_EQ(tree->build(), 0);
    ASSERT_EQ(tree->root(), tree->items()[0]);
    for (std::size_t i = 2; i < 5; ++i) {
        EXPECT_EQ(tree->items()[i]->parent(), nullptr);
        EXPECT_EQ(tree->items()[i]->firstChild(), nullptr);
        EXPECT_EQ(tree->items()[i]->childCount(), 0);
    }
    EXPECT_EQ(tree->root()->childCount(), 1);
    EXPECT_TRUE(log().contains(",cycle: 3 nodes cut off, first LOOP\\1\n"));
}

TEST_F(DeviceTreeRules, AbsentCodesReadAsPhantomAndZero)
{
    FakeNode present{"PCI\\B", kRoot, {}, {}};
    present.extra[kSlotProblemCode] = PropertyValue::ofNumber(28);
    present.extra[kSlotNodeStatus] = PropertyValue::ofNumber(0x1802400);
    auto tree = treeOf({{kRoot, {}, {}, {}}, {"PCI\\A", kRoot, {}, {}}, present});
    ASSERT_EQ(tree->build(), 0);
    EXPECT_EQ(tree->items()[1]->problemCode(), kProblemPhantom);
    EXPECT_EQ(tree->items()[1]->nodeStatus(), 0u);
    EXPECT_EQ(tree->items()[2]->problemCode(), 28u);
    EXPECT_EQ(tree->items()[2]->text(kSlotProblemCode), "28");
    EXPECT_EQ(tree->items()[2]->text(kSlotNodeStatus), "0x1802400");
}

TEST_F(DeviceTreeRules, SlotsShowTheirDisplayTexts)
{
    FakeNode node{"USB\\A", kRoot, {"A", "B"}, {}};
    node.extra[kSlotIsPresent] = PropertyValue::ofFlag(false);
    node.extra[kSlotContainerId] = PropertyValue::ofText("{00000000-0000-0000-FFFF-FFFFFFFFFFFF}");
    auto tree = treeOf({{kRoot, {}, {}, {}}, node});
    ASSERT_EQ(tree->build(), 0);
    DeviceItem* item = tree->items()[1];
    EXPECT_EQ(item->hardwareIds(), (QStringList{"A", "B"}));
    EXPECT_EQ(item->text(kSlotHardwareIds), "A,B,");
    EXPECT_EQ(item->text(kSlotIsPresent), "false");
    EXPECT_TRUE(item->property(kSlotIsPresent).hasValue);
    EXPECT_EQ(item->text(kSlotContainerId), "{00000000-0000-0000-FFFF-FFFFFFFFFFFF}");
    EXPECT_FALSE(item->property(kSlotManufacturer).hasValue);
    EXPECT_TRUE(item->property(kSlotManufacturer).fetched);
    EXPECT_EQ(item->property(99).hasValue, false);
}

TEST_F(DeviceTreeRules, SlotIsReadFromTheSourceOnce)
{
    FakeSource* source = nullptr;
    auto tree = treeOf({{kRoot, {}, {}, {}}, {"PCI\\A", kRoot, {}, {}}}, &source);
    ASSERT_EQ(tree->build(), 0);
    DeviceItem* item = tree->items()[1];
    item->property(kSlotManufacturer);
    item->property(kSlotManufacturer);
    item->property(kSlotInstanceId);
    EXPECT_EQ((source->reads[{1, kSlotManufacturer}]), 1);
    EXPECT_EQ((source->reads[{1, kSlotInstanceId}]), 1);
    EXPECT_EQ((source->reads[{1, kSlotName}]), 1);
}

TEST_F(DeviceTreeRules, SourceThatCannotOpenLeavesAnEmptyTree)
{
    DeviceTree tree(std::make_unique<FakeSource>(std::vector<FakeNode>{}, 3));
    EXPECT_EQ(tree.build(), 3);
    EXPECT_EQ(tree.root(), nullptr);
    EXPECT_TRUE(tree.items().empty());
    EXPECT_TRUE(log().contains(",3\n"));
}

TEST_F(DeviceTreeRules, ClearReleasesTheSnapshotAndRebuildWorks)
{
    FakeSource* source = nullptr;
    auto tree = treeOf({{kRoot, {}, {}, {}}, {"PCI\\A", kRoot, {}, {}}}, &source);
    ASSERT_EQ(tree->build(), 0);
    EXPECT_EQ(tree->clear(), 0);
    EXPECT_EQ(source->closes, 1);
    EXPECT_EQ(tree->root(), nullptr);
    ASSERT_EQ(tree->build(), 0);
    EXPECT_EQ(tree->items().size(), 2u);
}
