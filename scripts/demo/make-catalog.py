#!/usr/bin/env python3
"""Writes the demo shop catalogue for tests/tds/tds-endpoint.py: a dozen related tables with keys,
identity columns, defaults, accented names and text, dates, money, a long text and a picture."""
import json, random, sys, datetime, zlib, struct

rnd = random.Random(20261208)

def png(w, h):
    """A small real PNG: a colour gradient."""
    rows = b''
    for y in range(h):
        rows += b'\x00' + b''.join(bytes((x * 255 // w, y * 255 // h, 160)) for x in range(w))
    def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b'')).hex()

first = ['Zoë', 'José', 'Ærøn', 'Björn', 'Françoise', 'Łukasz', 'Siobhán', 'Mårten', 'Renée', 'Jürgen', 'Ana',
         'Chloé', 'Núria', 'Dvořák', 'Søren', 'Ingrid', 'Mateus', 'Aoife', 'Kenji', 'Émile']
last = ["O'Brien", 'Müller', 'Núñez', 'Kowalski', 'Østergaard', 'Dubois', 'García', 'Smith', 'Nakamura', 'Rossi',
        'Lindqvist', 'Horváth', 'Papadopoulos', 'Fernández', 'Novák']
cities = ['Zürich', 'Malmö', 'Kraków', 'São Paulo', 'Reykjavík', 'Köln', 'Montréal', 'Dublin', 'Tōkyō', 'Lyon']
products = ['Crème brûlée set', 'Café au lait mug', 'Piñata', 'Smørrebrød board', 'Jalapeño sauce', 'Crêpe pan',
            'Gänsefüßchen pen', 'Fjällräven bag', 'Açaí bowl', 'Pâté knife', 'Espresso ☕ cups', 'Über-kettle']

def day(start, span):
    return (datetime.date(2019, 1, 1) + datetime.timedelta(days=start + rnd.randrange(span))).isoformat()

def stamp():
    d = datetime.datetime(2023, 1, 1) + datetime.timedelta(seconds=rnd.randrange(3 * 365 * 86400))
    return d.strftime('%Y-%m-%d %H:%M:%S') + '.%03d' % rnd.randrange(1000)

tables = []
def table(name, columns, rows, **keys):
    t = {'name': name, 'columns': columns, 'rows': rows}
    t.update(keys)
    tables.append(t)

table('Categories', [['CategoryId', 'int'], ['Name', 'nvarchar(40)'], ['Description', 'nvarchar(200)']],
      [[i + 1, n, d] for i, (n, d) in enumerate([('Cuisine', 'Pots, pans and café things'),
                                                 ('Maison', 'For the home — décor'), ('Plein air', 'Outdoors'),
                                                 ('Épicerie', 'Sauces, spices & more')])],
      not_null=['Name'], identity={'column': 'CategoryId', 'seed': 1, 'increment': 1},
      primary_key={'name': 'PK_Categories', 'columns': ['CategoryId']})
table('Suppliers', [['SupplierId', 'int'], ['Company', 'nvarchar(60)'], ['City', 'nvarchar(40)'],
                    ['Phone', 'varchar(24)']],
      [[i + 1, f'{last[i % len(last)]} & Söhne', cities[i % len(cities)], f'+41 44 {100 + i} 00 {i:02d}']
       for i in range(8)],
      identity={'column': 'SupplierId', 'seed': 1, 'increment': 1},
      primary_key={'name': 'PK_Suppliers', 'columns': ['SupplierId']})
table('Products', [['ProductId', 'int'], ['Name', 'nvarchar(60)'], ['CategoryId', 'int'], ['SupplierId', 'int'],
                   ['UnitPrice', 'money'], ['InStock', 'bit'], ['Added', 'date'], ['Picture', 'varbinary(max)']],
      [[i + 1, products[i], i % 4 + 1, i % 8 + 1, '%d.%02d' % (rnd.randrange(3, 120), rnd.randrange(100)),
        i % 5 != 0, day(0, 900), png(24, 16) if i == 0 else None] for i in range(len(products))],
      not_null=['Name', 'UnitPrice'], defaults={'UnitPrice': '((0))', 'InStock': '((1))'},
      identity={'column': 'ProductId', 'seed': 1, 'increment': 1},
      primary_key={'name': 'PK_Products', 'columns': ['ProductId']},
      indexes=[{'name': 'IX_Products_Category', 'unique': False, 'columns': ['CategoryId']}],
      foreign_keys=[{'name': 'FK_Products_Categories', 'columns': ['CategoryId'], 'ref_table': 'Categories',
                     'ref_columns': ['CategoryId']},
                    {'name': 'FK_Products_Suppliers', 'columns': ['SupplierId'], 'ref_table': 'Suppliers',
                     'ref_columns': ['SupplierId']}])
table('Customers', [['CustomerId', 'int'], ['FirstName', 'nvarchar(30)'], ['LastName', 'nvarchar(30)'],
                    ['Email', 'varchar(80)'], ['City', 'nvarchar(40)'], ['Joined', 'datetime'],
                    ['Balance', 'decimal(12,2)']],
      [[i + 1, first[i % len(first)], last[i % len(last)],
        f'customer{i + 1}@example.com', cities[i % len(cities)], stamp(), '%d.%02d' % (rnd.randrange(-50, 900),
                                                                                    rnd.randrange(100))]
       for i in range(300)],
      not_null=['LastName'], defaults={'Joined': '(getdate())', 'Balance': '((0))'},
      identity={'column': 'CustomerId', 'seed': 1, 'increment': 1},
      primary_key={'name': 'PK_Customers', 'columns': ['CustomerId']},
      indexes=[{'name': 'UX_Customers_Email', 'unique': True, 'columns': ['Email']}])
table('Employees', [['EmployeeId', 'int'], ['Name', 'nvarchar(60)'], ['Title', 'nvarchar(40)'], ['Hired', 'date'],
                    ['Notes', 'nvarchar(max)']],
      [[i + 1, f'{first[(i * 3) % len(first)]} {last[(i * 7) % len(last)]}',
        ['Gérant', 'Vendeuse', 'Caissier', 'Lagerist'][i % 4], day(0, 1500),
        ('Très fiable. ' * 400) if i == 0 else None] for i in range(12)],
      identity={'column': 'EmployeeId', 'seed': 1, 'increment': 1},
      primary_key={'name': 'PK_Employees', 'columns': ['EmployeeId']})
table('Stores', [['StoreId', 'smallint'], ['Name', 'nvarchar(40)'], ['City', 'nvarchar(40)'], ['Opened', 'date']],
      [[i + 1, f'Boutique {c}', c, day(0, 400)] for i, c in enumerate(cities[:6])],
      primary_key={'name': 'PK_Stores', 'columns': ['StoreId']})
table('Orders', [['OrderId', 'int'], ['CustomerId', 'int'], ['EmployeeId', 'int'], ['StoreId', 'smallint'],
                 ['Ordered', 'datetime'], ['Status', 'varchar(12)'], ['Total', 'money']],
      [[i + 1, rnd.randrange(300) + 1, rnd.randrange(12) + 1, rnd.randrange(6) + 1, stamp(),
        rnd.choice(['paid', 'shipped', 'open']), '%d.%02d' % (rnd.randrange(5, 900), rnd.randrange(100))]
       for i in range(1200)],
      not_null=['CustomerId'], defaults={'Status': "('open')", 'Ordered': '(getdate())'},
      identity={'column': 'OrderId', 'seed': 1, 'increment': 1},
      primary_key={'name': 'PK_Orders', 'columns': ['OrderId']},
      foreign_keys=[{'name': 'FK_Orders_Customers', 'columns': ['CustomerId'], 'ref_table': 'Customers',
                     'ref_columns': ['CustomerId']}])
table('OrderLines', [['OrderId', 'int'], ['LineNo', 'smallint'], ['ProductId', 'int'], ['Quantity', 'smallint'],
                     ['UnitPrice', 'money'], ['Discount', 'real']],
      [[o + 1, l + 1, rnd.randrange(len(products)) + 1, rnd.randrange(1, 9),
        '%d.%02d' % (rnd.randrange(3, 120), rnd.randrange(100)), rnd.choice([0, 0, 0.05, 0.1])]
       for o in range(1200) for l in range(1 + o % 4)][:3000],
      not_null=['Quantity'], defaults={'Quantity': '((1))'},
      primary_key={'name': 'PK_OrderLines', 'columns': ['OrderId', 'LineNo']},
      foreign_keys=[{'name': 'FK_OrderLines_Orders', 'columns': ['OrderId'], 'ref_table': 'Orders',
                     'ref_columns': ['OrderId'], 'on_delete': 'CASCADE'}])
table('Payments', [['PaymentId', 'bigint'], ['OrderId', 'int'], ['Paid', 'datetime2'], ['Amount', 'decimal(10,2)'],
                   ['Method', 'nchar(6)']],
      [[5000000000 + i, i + 1, stamp(), '%d.%02d' % (rnd.randrange(5, 900), rnd.randrange(100)),
        rnd.choice(['carte', 'espèce', 'twint'])] for i in range(900)],
      primary_key={'name': 'PK_Payments', 'columns': ['PaymentId']})
table('Reviews', [['ReviewId', 'int'], ['ProductId', 'int'], ['Stars', 'tinyint'], ['Comment', 'nvarchar(400)'],
                  ['Written', 'datetime']],
      [[i + 1, rnd.randrange(len(products)) + 1, rnd.randrange(1, 6),
        rnd.choice(['Très bien ! 👍', 'Sehr gut, schnell geliefert.', 'Muy bonito 😀', 'Not as pictured…', '']),
        stamp()] for i in range(400)],
      identity={'column': 'ReviewId', 'seed': 1, 'increment': 1},
      primary_key={'name': 'PK_Reviews', 'columns': ['ReviewId']})
table('Inventory', [['StoreId', 'smallint'], ['ProductId', 'int'], ['OnHand', 'int'], ['Counted', 'smalldatetime']],
      [[s + 1, p + 1, rnd.randrange(0, 250), '2025-11-%02d 08:00:00' % (1 + (s + p) % 28)]
       for s in range(6) for p in range(len(products))],
      primary_key={'name': 'PK_Inventory', 'columns': ['StoreId', 'ProductId']})
table('Shipments', [['ShipmentId', 'uniqueidentifier'], ['OrderId', 'int'], ['Carrier', 'varchar(20)'],
                    ['Shipped', 'date'], ['Tracking', 'varchar(30)']],
      [['%08x-0000-4000-8000-%012x' % (i + 1, i * 7919), i + 1, rnd.choice(['Poste', 'DHL', 'UPS']), day(1500, 300),
        'TRK%09d' % rnd.randrange(10 ** 9)] for i in range(600)],
      primary_key={'name': 'PK_Shipments', 'columns': ['ShipmentId']})

json.dump({'database': 'DemoShop', 'password': 'demo', 'tables': tables}, sys.stdout, ensure_ascii=False)
