#!/usr/bin/env bash
# Makes the demo company file: the customers of the demo contacts (some with an e-mail
# address, some without) and the two items of the demo config.txt. Quayside Fish Co. is left
# out on purpose, so that a run over the chamber's list shows an error row.
#   scripts/make-demo-company.sh QBHOST FILE
set -euo pipefail
qbhost=$1
file=$2
rm -f "$file"
"$qbhost" init "$file"
"$qbhost" add-item "$file" "Membership Dues"
"$qbhost" add-item "$file" "Pledge"
while IFS='|' read -r name email; do
    [ -n "$name" ] || continue
    if [ -n "$email" ]; then
        "$qbhost" add-customer "$file" "$name" --email "$email"
    else
        "$qbhost" add-customer "$file" "$name"
    fi
done <<'CUSTOMERS'
Kevin Walsh|kevin.walsh@example.org
Abbott & Sons Hardware|accounts@abbott-hardware.example
Birchwood Bakery|
Bluebell Nursery|ada@bluebell.example
Café Lumière|
Copperfield Joinery|
Driftwood Gallery|mei@driftwood.example
Dunmore Legal LLP|billing@dunmore.example
Elm Street Pharmacy|
Evergreen Landscaping|
Fairview Dental|office@fairview.example
Granite "Rock" Quarry|
Harbor Lights Inn|
Ironside Fitness|
Maple & Oak Furniture|
Northgate Pharmacy|
Orchard Veterinary Clinic|desk@orchardvets.example
Pinecrest Realty|
Westbrook Bistro|
Yarrow & Finch|
Riverside Auto|
Summit Accounting|helen@summit.example
Thistle Florist|
Umbrella Insurance|
Xeno Labs|
Zenith Electric|
Ava Whitfield|ava.whitfield@example.org
Bruno Castellanos|
Chloé Dubois|chloe.dubois@example.org
Dawson Family Trust|trustees@dawson.example
Farah Nasser|
Hana Sato|
Isaac Greene|
Jonas Berg|
Keller & Söhne|post@keller-soehne.example
Liam O'Connor|
María José Núñez|mjnunez@example.org
Noah Fischer|
Olga Petrova|
Pemberton Foundation|
Quinn Harper|
Rosa Delgado|
Stefan Novak|
Tomás Silva|
Uma Krishnan|
Vera Lindqvist|
Willow Creek Church|
Xavier Dupont|
CUSTOMERS
