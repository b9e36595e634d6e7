// The module's own message catalogue: identifiers 8000 to 8108 (8027 and 8085 are not
// defined). The texts are the module's user-visible Simplified Chinese texts; lookup
// through LoadCatalogueText (messages.h).
#include <algorithm>
#include <iterator>
#include <string_view>

#include "settings/messages.h"

namespace zaro {
namespace {

struct CatalogueEntry {
  unsigned id;
  std::u16string_view text;
};

// Sorted by identifier.
constexpr CatalogueEntry kCatalogue[] = {
    {8000, u"定义 ZARO 应用程序和安装程序设置之前，必须在“发布设置”中将 Tessel 文件的发布目标设置为 ZARO\n\n"
            u"按“确定”可将您的发布目标更改为 ZARO，然后打开“ZARO 应用程序和安装程序设置”对话框。"},
    {8001, u"必须选择证书"},
    {8002, u"使用证书为 ZARO 签名"},
    {8003, u"指定的证书不存在。"},
    {8004, u"准备不带证书的 ZARO"},
    {8005, u"密码为空。 请输入密码。"},
    {8006, u"输入的密码不匹配。请重新输入。"},
    {8007, u"创建自签名的证书"},
    {8008, u"证书文件存在。是否覆盖它？"},
    {8009, u"必须填写所有字段。"},
    {8010, u"Corvane Tessel KV5"},
    {8011, u"QMV 文件不存在。请先使用“测试影片”或“导出影片”命令创建 QMV 文件，然后再发布 ZARO 文件。"},
    {8012, u"创建 ZARO 文件失败:"},
    {8013, u"创建 ZARO 文件"},
    {8014, u"已创建 ZARO 文件。"},
    {8015, u"已创建 ZAROI 文件。"},
    {8016, u"创建自签名的证书失败:"},
    {8017, u"创建自签名的证书"},
    {8018, u"已创建自签名的证书。"},
    {8019, u"复制图标"},
    {8020, u"必须将图标复制到一个相对于根内容文件夹的文件夹中，才能够发布该图标。是否要继续？"},
    {8021, u"更改..."},
    {8022, u"使用所选证书为 ZARO 文件签名"},
    {8023, u"创建以后签名的 ZAROI 文件"},
    {8024, u"设置..."},
    {8025, u"选择证书为 ZARO 文件签名"},
    // Help link.
    {8026, u"https://help.corvane.example/go/learn_zaro_using_tessel_cn"},
    {8028, u"系统镶边"},
    {8029, u"自定义镶边（不透明）"},
    {8030, u"自定义镶边（透明）"},
    {8031, u"无法解析应用程序描述符文件。"},
    {8032, u"应用程序描述符文件中缺少命名空间。"},
    {8033, u"应用程序描述符文件中的命名空间无效。"},
    {8034, u"应用程序描述符文件中存在非预期或未知元素或属性。"},
    {8035, u"应用程序描述符文件中缺少所需的属性或元素。"},
    {8036, u"应用程序描述符文件中的属性或元素包含无效的值。"},
    {8037, u"应用程序描述符文件中存在非法窗口属性组合。"},
    // Ends with a space, shown as it is.
    {8038, u"application.initialWindow.minSize 大于 application.initialWindow.maxSize "},
    {8039, u"无法打开图标文件。"},
    {8040, u"其中一个指定的图标的尺寸不正确。"},
    {8041, u"图标文件为不受支持的格式。图标必须为 PNG 文件。"},
    {8042, u"缺少文件或无法打开文件。"},
    {8043, u"缺少应用程序描述符文件或无法打开文件。"},
    {8044, u"缺少指定为根内容的 QMV 文件。"},
    {8045, u"缺少图标文件。"},
    {8046, u"无法加载 keystore 文件（密码可能不正确）"},
    {8047, u"请提供文件类型名称、扩展名和内容类型。 这些参数是必需的。"},
    {8048, u"选择一个文件夹以保存您的自签名证书"},
    {8049, u"图像文件"},
    {8050, u"选择一个要包含在包中的文件夹"},
    {8051, u"文件"},
    {8052, u"无"},
    {8053, u"如果 ZARO 应用程序没有时间戳，则当数字证书过期时它将无法安装。\n\n"
            u"是否确定要禁用时间戳？"},
    {8054, u"用法错误（错误的参数）。"},
    {8055, u"未知错误。"},
    {8056, u"无法写入到目标目录。"},
    {8057, u"无法访问数字证书。"},
    {8058, u"数字证书无效。"},
    {8059, u"无法为 ZARO 文件签名。"},
    // 8060, 8061, 8063, 8065 and 8089 are prefixes: a detail follows the blank line.
    {8060, u"创建 ZARO 文件时出错。\n\n"},
    {8061, u"应用程序 ID 无效。\n\n"},
    {8062, u"应用程序 ID 的长度必须介于 1-212 个字符之间，可以包含以下字符: a-z、A-Z、0-9、点 (.) 和连字符 (-)。"},
    {8063, u"文件类型名称无效。\n\n"},
    {8064, u"文件类型名称的长度必须介于 1-38 个字符之间，可以包含以下字符: a-z、A-Z、0-9 和点 (.)。文件类型名称不能以点或数字开头。"},
    {8065, u"文件类型扩展名无效。\n\n"},
    {8066, u"文件类型扩展名的长度必须介于 1-38 个字符之间，可以包含以下字符: a-z、A-Z 和 0-9。"},
    {8067, u"您已选择使用自定义应用程序描述符文件。请指定一个描述符文件。"},
    {8068, u"指定的自定义应用程序描述符文件不存在。"},
    {8069, u"请指定最大宽度和最大高度。"},
    {8070, u"请指定最小宽度和最小高度。"},
    {8071, u"文件"},
    {8072, u"将不包括缺少的文件。是否要继续？"},
    {8073, u"以下文件和/或文件夹不存在。"},
    {8074, u"QMV 文件名或文件路径中不允许有双字节字符。"},
    {8075, u"XML 文件"},
    {8076, u"所有文件"},
    {8077, u"P12 文件"},
    {8078, u"PFX 文件"},
    {8079, u"ZARO 文件"},
    {8080, u"ZAROI 文件"},
    {8081, u"国家/地区代码无效"},
    {8082, u"QMV 文件无效。"},
    {8083, u"在初始内容 QMV 的“发布设置”中设置的 ZARO 版本超出了描述符命名空间所允许的范围。"},
    {8084, u"创建自签名证书时出错。"},
    {8086, u"发布"},
    {8087, u"应用程序和安装程序设置"},
    {8088, u"未安装 iPhone 发布所需的文件。\r\n"
            u"请退出 Tessel Professional，然后运行原始的安装程序以确保安装所有可选组件。"},
    {8089, u"创建文件时出错。\n\n"},
    {8090, u"PNG 文件"},
    {8091, u"JPG 文件"},
    {8092, u"纵向"},
    {8093, u"横向"},
    // Help link.
    {8094, u"https://help.corvane.example/go/learn_mpk_tessel_cn"},
    {8095, u"iPhone 设置"},
    {8096, u"自动"},
    {8097, u"指定的供给文件不存在。"},
    {8098, u"必须选择一个供给配置文件。"},
    {8099, u"缺少应用程序名称。"},
    {8100, u"无法找到 JVM 路径。"},
    {8101, u"iPhone 应用程序文件"},
    {8102, u"选择文件目标"},
    {8103, u"用于发布 qmv 文件的目标文件夹不存在。"},
    // Help link.
    {8104, u"https://help.corvane.example/go/learn_zaro_using_tessel_kv5_cn"},
    {8105, u"导出 QMV 文件时出错。请在编译器错误面板中查看错误。"},
    {8106, u"图标"},
    {8107, u"iPhone 文件已创建。"},
    {8108, u"Windows 安装文件已创建。"},
};

constexpr bool SortedById() {
  for (size_t i = 1; i < std::size(kCatalogue); ++i) {
    if (kCatalogue[i - 1].id >= kCatalogue[i].id) return false;
  }
  return true;
}
static_assert(SortedById(), "catalogue entries must be sorted by identifier");

}  // namespace

std::u16string LoadCatalogueText(unsigned id) {
  const auto found = std::lower_bound(std::begin(kCatalogue), std::end(kCatalogue), id,
                                      [](const CatalogueEntry& entry, unsigned key) { return entry.id < key; });
  if (found == std::end(kCatalogue) || found->id != id) return {};
  return std::u16string(found->text);
}

}  // namespace zaro
