#!/usr/bin/perl
# Generates the differential table of DiffTest.cpp: random patterns in this
# engine's syntax, each translated to a Perl pattern and searched by Perl in
# inputs made around random words of the pattern. Run from this directory:
#   perl gen_diff_table.pl > data/diff_table.tsv
#
# The patterns stay inside the subset where the two match policies agree:
# plain groups become non-capturing, named groups Perl named groups; back
# references only to groups closed before them, outside every repetition,
# whose body cannot match the empty text (such a group that matched nothing
# records nothing here); no
# alternative can match the empty text and the alternatives of one alternation
# cannot start with the same character; non-greedy marks only on single
# elements, and no repetition of an empty-matching body that holds one; '^'
# and '$' only at the ends of the whole pattern, as absolute start and end.
#
# Two kinds of rows. "S" rows (alphabet a, b, c, with '.', classes and back
# references) must agree on whether there is a match and where it starts.
# "T" rows give every element of the pattern a letter of its own, so that no
# two ways through the pattern consume the same character (this engine follows
# such ways as one); they must agree on the matched text too.
#
# Row: pattern TAB input TAB expected TAB kind; expected is "-" for no match,
# else "start,length" of Perl's match.
use strict;
use warnings;
use List::Util qw(shuffle);

srand(20261210);
my @abc = ('a', 'b', 'c');
my @letters = ('a' .. 't');

my $unique;    # "T" pattern: every element its own letters
my @fresh;     # letters not used yet in a "T" pattern
my @closed;    # names of named groups closed so far, body not nullable
my $nameSeq = 0;

# A generated unit: our text, Perl text, nullable, first characters, sampler.
sub unit {
    my ($o, $p, $n, $f, $s) = @_;
    return { o => $o, p => $p, n => $n, f => $f, s => $s };
}

sub letter {
    return $abc[int(rand(@abc))] unless $unique;
    return shift @fresh // 'z';
}

sub atom {
    my ($depth) = @_;
    my $r = rand();
    if ($r < 0.45 || ($depth >= 3 && !(!$unique && $r < 0.6))) {
        my $c = letter();
        return { %{ unit($c, $c, 0, { $c => 1 }, sub { $c }) }, simple => 1 };
    }
    if ($r < 0.52 && !$unique) {
        return { %{ unit('.', '.', 0, { map { $_ => 1 } @abc }, sub { $abc[int(rand(@abc))] }) }, simple => 1 };
    }
    if ($r < 0.60) {
        my @set;
        my $neg = 0;
        if ($unique) {
            @set = (letter(), letter());
        } else {
            @set = grep { rand() < 0.5 } @abc;
            @set = ('a') unless @set;
            $neg = rand() < 0.3;
        }
        my @members = $neg ? (grep { my $x = $_; !grep { $_ eq $x } @set } @abc) : @set;
        @members = ('a') unless @members;
        my $cls = '[' . ($neg ? '^' : '') . join('', @set) . ']';
        return { %{ unit($cls, $cls, 0, { map { $_ => 1 } @members }, sub { $members[int(rand(@members))] }) },
                 simple => 1 };
    }
    if ($r < 0.66 && @closed && !$unique) {
        my $name = $closed[int(rand(@closed))];
        return unit('${' . $name . '}', '\k<' . $name . '>', 0, { map { $_ => 1 } @abc }, sub { '' });
    }
    my $inner = alternation($depth + 1);
    my $u;
    if (rand() < 0.3) {
        my $name = 'n' . ($nameSeq++);
        $u = unit(" $name\@(" . $inner->{o} . ')', "(?<$name>" . $inner->{p} . ')', $inner->{n}, $inner->{f}, $inner->{s});
        push @closed, $name unless $inner->{n};
    } else {
        $u = unit('(' . $inner->{o} . ')', '(?:' . $inner->{p} . ')', $inner->{n}, $inner->{f}, $inner->{s});
    }
    $u->{ng} = $inner->{ng};
    return $u;
}

sub repeat {
    my ($s, $lo, $hi) = @_;
    return sub { join('', map { $s->() } 1 .. $lo + int(rand($hi - $lo + 1))) };
}

sub piece {
    my ($depth) = @_;
    my $mark = @closed;
    my $a = atom($depth);
    my $r = rand();
    my ($q, $nullable, $lo, $hi);
    if    ($r < 0.55) { return $a; }
    elsif ($r < 0.65) { ($q, $nullable, $lo, $hi) = ('*', 1, 0, 3); }
    elsif ($r < 0.73) { ($q, $nullable, $lo, $hi) = ('+', $a->{n}, 1, 3); }
    elsif ($r < 0.81) { ($q, $nullable, $lo, $hi) = ('?', 1, 0, 1); }
    else {
        my $m = int(rand(3)) + 1;
        my $kind = rand();
        if ($kind < 0.3) { ($q, $nullable, $lo, $hi) = ("{$m}", $a->{n}, $m, $m); }
        elsif ($kind < 0.6) { ($q, $nullable, $lo, $hi) = ("{$m,}", $a->{n}, $m, $m + 2); }
        else {
            $lo = int(rand(3));
            $hi = $lo + 1 + int(rand(3));
            ($q, $nullable) = ("{$lo,$hi}", $lo == 0 ? 1 : $a->{n});
        }
    }
    # Non-greedy marks only on single elements: a non-greedy counted
    # repetition also lowers the priority of repetitions inside its body.
    # (Not on x{m}: the same as x{m}, and Perl 5.36 misreads some uses.)
    my $ng = rand() < 0.25 && $a->{simple} && $q !~ /^\{\d+\}$/;
    $q .= '?' if $ng;
    # A repeated body that can match the empty text and holds a non-greedy
    # part: the backtracking engine ends the loop at an empty pass, this engine
    # drops the empty pass and tries the ways that consume first.
    return $a if $a->{n} && $a->{ng} && $q !~ /^\?\??$/;
    # A named group inside a repetition: which pass it records depends on how
    # this engine follows positions (a loop back into the group continues its
    # capture), so no back reference may read it.
    splice(@closed, $mark) if $hi > 1;
    my $u = unit($a->{o} . $q, $a->{p} . $q, $nullable, $a->{f}, repeat($a->{s}, $lo, $hi));
    $u->{ng} = $ng || $a->{ng};
    return $u;
}

sub branch {
    my ($depth) = @_;
    my $k = 1 + int(rand(3));
    my ($o, $p, $n, $ng, %f, @s) = ('', '', 1, 0);
    for (1 .. $k) {
        my $u = piece($depth);
        $o .= $u->{o};
        $p .= $u->{p};
        if ($n) { %f = (%f, %{ $u->{f} }); }
        $n = $n && $u->{n};
        $ng ||= $u->{ng};
        push @s, $u->{s};
    }
    my $b = unit($o, $p, $n, \%f, sub { join('', map { $_->() } @s) });
    $b->{ng} = $ng;
    return $b;
}

sub alternation {
    my ($depth) = @_;
    my $first = branch($depth);
    return $first if rand() < 0.65 || $first->{n};
    my @alts = ($first);
    my %used = %{ $first->{f} };
    for (1 .. 1 + int(rand(2))) {
        my $b;
        for (1 .. 20) {
            my @keep = @closed;
            my $try = branch($depth);
            if ($try->{n} || grep { $used{$_} } keys %{ $try->{f} }) {
                @closed = @keep;
                next;
            }
            $b = $try;
            last;
        }
        last unless $b;
        push @alts, $b;
        %used = (%used, %{ $b->{f} });
    }
    my @s = map { $_->{s} } @alts;
    my $u = unit(join('|', map { $_->{o} } @alts), join('|', map { $_->{p} } @alts), 0, \%used,
                 sub { $s[int(rand(@s))]->() });
    $u->{ng} = grep { $_->{ng} } @alts;
    return $u;
}

sub pattern {
    @closed = ();
    $nameSeq = 0;
    $unique = rand() < 0.5;
    @fresh = shuffle(@letters);
    my $k = 1 + int(rand(3));
    my ($o, $p, @s) = ('', '');
    for my $i (1 .. $k) {
        my $u = ($k == 1) ? alternation(0) : piece(0);
        if ($k == 1 && $u->{o} =~ /\|/) { $u = unit('(' . $u->{o} . ')', '(?:' . $u->{p} . ')', $u->{n}, $u->{f}, $u->{s}); }
        if ($i > 1 && rand() < 0.1) { $o .= '\b'; $p .= '\b'; }
        $o .= $u->{o};
        $p .= $u->{p};
        push @s, $u->{s};
    }
    if (rand() < 0.15) { $o = '^' . $o; $p = '\A' . $p; }
    if (rand() < 0.15) { $o .= '$'; $p .= '\z'; }
    return ($o, $p, sub { join('', map { $_->() } @s) });
}

# A word of the pattern with a little noise around it and sometimes one
# character changed; the noise uses the pattern's own letters.
sub input {
    my ($sample, $pool) = @_;
    my $noise = sub { join('', map { $pool->[int(rand(@$pool))] } 1 .. int(rand(3))) };
    my $w = $sample->();
    $w = substr($w, 0, 12);
    if (length($w) && rand() < 0.3) {
        substr($w, int(rand(length($w))), 1) = $pool->[int(rand(@$pool))];
    }
    return $noise->() . $w . $noise->();
}

my %seen;
my $rows = 0;
while ($rows < 3000) {
    my ($o, $p, $sample) = pattern();
    next if $seen{$o}++;
    next if $unique && $o =~ /z/;    # ran out of letters of its own
    my $re = eval { no warnings; qr/$p/ };
    next unless $re;
    my %chars = map { $_ => 1 } grep { /[a-z]/ } split //, $o;
    my @pool = $unique ? keys %chars : @abc;
    @pool = ('a') unless @pool;
    my $kind = $unique ? 'T' : 'S';
    # Up to three inputs where Perl finds a match and three where it does not.
    my ($hit, $miss) = (0, 0);
    my %tried;
    for (1 .. 200) {
        last if $hit >= 3 && $miss >= 3;
        my $in = input($sample, \@pool);
        next if $tried{$in}++;
        my $exp = '-';
        if ($in =~ $re) { $exp = $-[0] . ',' . ($+[0] - $-[0]); }
        if ($exp eq '-') { next if $miss >= 3; $miss++; } else { next if $hit >= 3; $hit++; }
        print "$o\t$in\t$exp\t$kind\n";
        $rows++;
    }
}
