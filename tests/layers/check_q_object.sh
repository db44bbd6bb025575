#!/usr/bin/env bash
# Every class of src/ that derives from a QObject type opens with Q_OBJECT,
# so that its signals, casts and class name are its own. A QObject type is a
# Qt class (every Qt class src/ derives from today is one) or a class of src/
# that derives from one, at any depth.
set -euo pipefail
src=${1:?usage: check_q_object.sh SRC_DIR}
mapfile -t files < <(find "$src" -name '*.h' -o -name '*.cpp' | sort)
perl -e '
  my (@classes, %qobject);
  for my $file (@ARGV) {
    open(my $in, "<", $file) or die "$file: $!";
    local $/;
    my $text = <$in>;
    # "class Name [final] : bases {" and whether the body opens with Q_OBJECT.
    while ($text =~ /\b(?:class|struct)\s+(\w+)(?:\s+final)?\s*:([^{;]*)\{(\s*Q_OBJECT\b)?/g) {
      my ($name, $bases, $marked) = ($1, $2, defined $3);
      my $line = 1 + (() = substr($text, 0, $-[0]) =~ /\n/g);
      push @classes, [$file, $line, $name, [$bases =~ /(\w+)\s*(?:[,<]|$)/g], $marked];
    }
  }
  # A class is a QObject type when a base is a Qt class or a QObject type
  # of src/; repeated until no class is added.
  for (my $added = 1; $added;) {
    $added = 0;
    for my $class (@classes) {
      next if $qobject{$class->[2]};
      next unless grep { /^Q[A-Z]/ || $qobject{$_} } @{$class->[3]};
      $qobject{$class->[2]} = 1;
      $added = 1;
    }
  }
  my $status = 0;
  for my $class (@classes) {
    next unless $qobject{$class->[2]} && !$class->[4];
    print STDERR "q_object: $class->[0]:$class->[1]: $class->[2] derives from a QObject type without Q_OBJECT\n";
    $status = 1;
  }
  print "q_object: every QObject type in src/ has Q_OBJECT\n" unless $status;
  exit $status;
' "${files[@]}"
