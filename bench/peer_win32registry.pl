#!/usr/bin/perl
# The benchmark's requests done with the Perl module Parse::Win32Registry, the
# one peer that reads big-data values whole. One request per run:
#   value   HIVE KEY NAME          print one value's data
#   subkeys HIVE KEY               print the names of the key's subkeys
#   values  HIVE KEY               print the key's values, name and type
#   export  HIVE KEY NAME OUTPUT   write one value's raw data to OUTPUT
# KEY is backslash-separated and relative to the root key ("" for the root).
use strict;
use warnings;
use Parse::Win32Registry;

my ($mode, $hive, $path, $name, $output) = @ARGV;
die "usage: peer_win32registry.pl MODE HIVE KEY [NAME [OUTPUT]]\n" unless defined $path;
my $registry = Parse::Win32Registry->new($hive) or die "cannot open $hive\n";
my $key = $registry->get_root_key;
$key = $key->get_subkey($path) if length $path;
die "no key $path\n" unless $key;

if ($mode eq 'subkeys') {
    print $_->get_name, "\n" for $key->get_list_of_subkeys;
} elsif ($mode eq 'values') {
    print $_->get_name, "\t", $_->get_type_as_string, "\n" for $key->get_list_of_values;
} else {
    my $value = $key->get_value($name) or die "no value $name\n";
    my $data = $value->get_data;
    die "no data\n" unless defined $data;
    if ($mode eq 'export') {
        open(my $out, '>:raw', $output) or die "cannot create $output\n";
        print $out $data;
        close($out) or die "cannot write $output\n";
    } else {
        print $name, ' = ', $value->get_data_as_string, "\n";
    }
}
