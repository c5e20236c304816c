// A table whose third row no longer matches service-names.txt beside it.
constexpr std::u16string_view SERVICE_NAMES[] = {
    u"Alpha Service",
    u"beta;driver",
    u"{Gamma}",
    u"Delta",
};
