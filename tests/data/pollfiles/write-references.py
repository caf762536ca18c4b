# Writes fresh.xml and full.xml, the files tst_pollfile compares saves with,
# straight from the format description rather than through QDom, so the
# references do not repeat the code under test. Usage: python3 write-references.py <folder>
import sys
def esc(t):
    out = []
    for i, ch in enumerate(t):
        if ch == '<': out.append('&lt;')
        elif ch == '&': out.append('&amp;')
        elif ch == '>' and ''.join(out).endswith(']]'): out.append('&gt;')
        elif ch == '\r': out.append('&#xd;')
        else: out.append(ch)
    return ''.join(out)
def el(ind, name, text):
    if text is None: return ' ' * ind + '<%s/>' % name
    return ' ' * ind + '<%s>%s</%s>' % (name, esc(text), name)
def defaults():
    return dict(polldesc=None, slave='1', addrperitem='1', function='3', startaddr='1', val1='1', val2=None, val3=None, write=['0'], desc=[''])
def null():
    return dict(polldesc=None, slave=None, addrperitem=None, function=None, startaddr=None, val1=None, val2=None, val3=None, write=[], desc=[])
def doc(seq, polls):
    L = ["<?xml version='1.0' encoding='UTF-8'?>", '<polls>']
    if seq:
        L.append(' <Sequence>')
        L += [el(2, 'S', str(n)) for n in seq]
        L.append(' </Sequence>')
    else:
        L.append(' <Sequence/>')
    for k, p in enumerate(polls, 1):
        L.append(' <Poll%d>' % k)
        for f in ['polldesc', 'slave', 'function', 'startaddr', 'addrperitem', 'val1', 'val2', 'val3']:
            L.append(el(2, f, p[f]))
        for f, empty in [('write', '0'), ('desc', '')]:
            L.append('  <%s>' % f)
            vals = p[f] if p[f] else [empty]
            L += [el(3, 'Val', v) for v in vals]
            L.append('  </%s>' % f)
        L.append(' </Poll%d>' % k)
    L.append('</polls>')
    return '\n'.join(L) + '\n'

fresh = [defaults() for _ in range(99)]
open(sys.argv[1] + '/fresh.xml', 'w', encoding='utf-8', newline='').write(doc([], fresh))

full = [defaults() for _ in range(99)]
full[0].update(polldesc='Pumps & valves <hall 2>', slave='247', function='16', startaddr='40001', addrperitem='2',
               val1='3', val2='4', val3='3412', write=['1.5', '-2', '65535'], desc=['Flow l/min', 'Druck über Soll', '温度 °C'])
full[1].update(function='15', val1='0', write=[], desc=[])
full[2] = null()
full[3] = dict(polldesc='', slave='', addrperitem='', function='', startaddr='', val1='', val2='', val3='', write=[''], desc=[''])
full[4].update(polldesc='a<b&c>d "q" \'a\' x]]>y', slave=' 12 ', function='tab\there', startaddr='cr\rlf\r\nend',
               addrperitem='line1\nline2', val1='   ', val2='€😀', val3='ctl end',  # \x01 \x1f \uffff left out
               write=['&amp;', '<Val>', ']]>'], desc=['\x7f', 'ab'])      # lone surrogate left out
full[5].update(val1='2000', write=[str(i * 3 - 1000) for i in range(2000)],
               desc=['Register %d – Zone %s' % (i, 'ÄÖÜ'[i % 3]) for i in range(2000)])
full[98].update(polldesc='last', slave='300', function='7')
open(sys.argv[1] + '/full.xml', 'w', encoding='utf-8', newline='').write(doc([1, 2, 99, 2, 50, 3], full))
