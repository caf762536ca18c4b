# Writes fresh.xml and full.xml, the files saves are compared with, straight
# from the format description rather than through QDom, and ../rows/pollsaves.tsv,
# the stores they are saved from. Usage: python3 write-references.py (in this folder)
F = ['polldesc', 'slave', 'function', 'startaddr', 'addrperitem', 'val1', 'val2', 'val3']
def esc(t):
    t = t.replace('&', '&amp;').replace('<', '&lt;').replace(']]>', ']]&gt;').replace('\r', '&#xd;')
    return ''.join(c for c in t if c in '\t\n' or ' ' <= c <= '\ud7ff' or '\ue000' <= c <= '\ufffd' or c > '\uffff')
def el(ind, name, text):
    return ' ' * ind + ('<%s/>' % name if text is None else '<%s>%s</%s>' % (name, esc(text), name))
def defaults():
    return dict(polldesc=None, slave='1', addrperitem='1', function='3', startaddr='1', val1='1', val2=None, val3=None, write=['0'], desc=[''])
def doc(seq, polls):
    L = ["<?xml version='1.0' encoding='UTF-8'?>", '<polls>']
    L += [' <Sequence>'] + [el(2, 'S', str(n)) for n in seq] + [' </Sequence>'] if seq else [' <Sequence/>']
    for k, p in enumerate(polls, 1):
        L += [' <Poll%d>' % k] + [el(2, f, p[f]) for f in F]
        for f, empty in [('write', '0'), ('desc', '')]:
            L += ['  <%s>' % f] + [el(3, 'Val', v) for v in (p[f] or [empty])] + ['  </%s>' % f]
        L.append(' </Poll%d>' % k)
    return '\n'.join(L + ['</polls>', ''])
def cell(t):  # the rows' escapes; ~ is a null text
    if t is None: return '~'
    return ''.join({'\\': '\\\\', '\t': '\\t', '\n': '\\n', '\r': '\\r'}.get(c) or (c if ' ' <= c < '\ud800' or '\ue000' <= c < '\ufffe' or c > '\uffff' else '\\u%04x' % ord(c)) for c in t)
def record(p):
    return '|'.join([cell(p[f]) for f in F] + ['%d:%s' % (len(p[f]), ','.join(map(cell, p[f]))) for f in ('write', 'desc')])

full = [defaults() for _ in range(99)]
full[0].update(polldesc='Pumps & valves <hall 2>', slave='247', function='16', startaddr='40001', addrperitem='2',
               val1='3', val2='4', val3='3412', write=['1.5', '-2', '65535'], desc=['Flow l/min', 'Druck über Soll', '温度 °C'])
full[1].update(function='15', val1='0', write=[], desc=[])
full[2] = dict({f: None for f in F}, write=[], desc=[])
full[3] = dict({f: '' for f in F}, write=[''], desc=[''])
full[4].update(polldesc='a<b&c>d "q" \'a\' x]]>y', slave=' 12 ', function='tab\there', startaddr='cr\rlf\r\nend',
               addrperitem='line1\nline2', val1='   ', val2='€😀', val3='ctl\x01\x1f end\uffff',
               write=['&amp;', '<Val>', ']]>'], desc=['\x7f', 'a\ud800b'])  # what XML cannot carry is left out
full[5].update(val1='2000', write=[str(i * 3 - 1000) for i in range(2000)],
               desc=['Register %d – Zone %s' % (i, 'ÄÖÜ'[i % 3]) for i in range(2000)])
full[98].update(polldesc='last', slave='300', function='7')
for name, seq, polls in [('fresh', [], [defaults() for _ in range(99)]), ('full', [1, 2, 99, 2, 50, 3], full)]:
    open(name + '.xml', 'w', encoding='utf-8', newline='').write(doc(seq, polls).encode('utf-8', 'surrogatepass').decode('utf-8', 'ignore'))
# What loads back differently: empty lists, empty slave and function, whitespace only, what was left out.
loaded = '2=|1|15|1|1|0|||1:0|1:;3=|1|1||||||1:0|1:;4=|1|1||||||1:|1:;5=' + record(dict(full[4], val1='', val3='ctl end', desc=['\x7f', 'ab']))
with open('../rows/pollsaves.tsv', 'w', encoding='utf-8') as out:
    out.write('# Written by pollfiles/write-references.py: the records unlike the defaults of a store, its\n'
              '# Sequence, the file its save must give, and the records that load back from it differently.\n')
    out.write('row\tstore\tsequence\treference\t=loaded\n')
    out.write('fresh store\t\t0:\tpollfiles/fresh.xml\t\n')
    store = ';'.join('%d=%s' % (k + 1, record(p)) for k, p in enumerate(full) if p != defaults())
    out.write('every field, long lists, escapes, non-ASCII\t%s\t6:1,2,99,2,50,3\tpollfiles/full.xml\t%s\n' % (store, loaded))
